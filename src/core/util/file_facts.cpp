#include "util/file_facts.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "base/errors.h"
#include "base/os.h"
#include "base/thread_slot.h"
#include "util/encoding.h"
#include "util/file_handle.h"
#include "util/regex.h"

namespace scanflow {

namespace {

// An open regular file read in blocks.
class Fd {
public:
    explicit Fd(const std::string& path) : file_(open_for_reading(path)) {}
    // Reads up to `size` bytes; 0 at the end. An I/O failure is a FileError.
    size_t read(char* buffer, size_t size, const std::string& path) {
        size_t n = std::fread(buffer, 1, size, file_.get());
        if (n == 0 && std::ferror(file_.get()))
            throw FileError(path, "cannot read " + path + ": " + std::strerror(errno));
        return n;
    }

private:
    FileHandle file_;
};

std::string mtime_text(const FileFacts& facts) {
    if (!facts.readable()) return "0";
    // Files written together share their second: each thread keeps the last one formatted.
    thread_local std::int64_t last_seconds = -1;
    struct LastText {};
    std::string& last_text = thread_slot<std::string, LastText>();
    if (facts.mtime == last_seconds) return last_text;
    std::tm local{};
    if (!os::local_time(facts.mtime, &local)) return "0";
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    last_seconds = facts.mtime;
    last_text = buf;
    return last_text;
}

}  // namespace

std::string getFileMd5(const std::string& file_path) {
    os::Md5 md5;
    if (os::stat(file_path).kind != os::Kind::Missing) {
        Fd fd(file_path);
        // Large blocks: scene files of several gigabytes, digested in constant memory.
        std::vector<char> block(1 << 20);
        while (size_t n = fd.read(block.data(), block.size(), file_path))
            md5.update(block.data(), n);
    }
    return md5.hex_digest();
}

FileFacts stat_file(const std::string& file_path) {
    os::Facts facts = os::stat(file_path);
    if (facts.kind == os::Kind::Missing) return {};
    return FileFacts(facts.size, facts.mtime);
}

std::string file_data_line(const std::string& file_path, const FileFacts& facts) {
    std::string time = mtime_text(facts);
    std::string size = facts.readable() ? std::to_string(facts.size) : "0";
    std::string line;
    line.reserve(file_path.size() + time.size() + size.size() + 16);
    line.append(file_path).append("  (mtime ").append(time).append(") size ").append(size);
    return line;
}

std::int64_t get_file_size(const std::string& file_path) {
    return stat_file(file_path).size;
}

std::string get_file_mtime(const std::string& file_path) {
    return file_path + "  (mtime " + mtime_text(stat_file(file_path)) + ")";
}

std::string get_file_data(const std::string& file_path) {
    return file_data_line(file_path, stat_file(file_path));
}

std::optional<std::string> get_file_save_ver(const std::string& file_path) {
    static const std::string marker = "set -g _HIP_SAVEVERSION =";
    Fd fd(file_path);
    // Scan blocks for the marker; only the line that holds it is decoded. The tail of each block
    // is kept so that a marker split between two blocks, and the start of its line, are seen.
    std::vector<char> block(1 << 20);
    std::string window;  // the current line so far, then the new block
    while (true) {
        size_t n = fd.read(block.data(), block.size(), file_path);
        if (n == 0) break;
        window.append(block.data(), n);
        size_t hit = window.find(marker);
        if (hit != std::string::npos) {
            size_t line_start = window.rfind('\n', hit);
            line_start = line_start == std::string::npos ? 0 : line_start + 1;
            size_t line_end = window.find('\n', hit);
            while (line_end == std::string::npos) {
                size_t more = fd.read(block.data(), block.size(), file_path);
                if (more == 0) break;
                size_t old = window.size();
                window.append(block.data(), more);
                line_end = window.find('\n', old);
            }
            std::string line = bety_out_decode(std::string_view(window).substr(
                line_start,
                line_end == std::string::npos ? std::string::npos : line_end + 1 - line_start));
            size_t first = line.find('=');
            if (first == std::string::npos) return std::nullopt;
            size_t second = line.find('=', first + 1);
            std::string value = line.substr(
                first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
            const char* blanks = " \t\n\r\v\f";
            size_t b = value.find_first_not_of(blanks);
            size_t e = value.find_last_not_of(blanks);
            value = b == std::string::npos ? "" : value.substr(b, e - b + 1);
            b = value.find_first_not_of('\'');
            e = value.find_last_not_of('\'');
            return b == std::string::npos ? "" : value.substr(b, e - b + 1);
        }
        // Keep only the unfinished last line (bounded, so one huge line cannot grow without end).
        size_t last_newline = window.rfind('\n');
        if (last_newline != std::string::npos) {
            window.erase(0, last_newline + 1);
        } else if (window.size() > marker.size()) {
            window.erase(0, window.size() - marker.size());
        }
    }
    return std::nullopt;
}

std::string get_hipVersion(const std::string& hip_file) {
    auto version = get_file_save_ver(hip_file);
    if (!version || version->empty())
        throw FileError(hip_file, hip_file + " records no _HIP_SAVEVERSION");
    static const Regex major_minor(R"(\d+\.\d+)");
    auto match = major_minor.search(*version);
    if (!match)
        throw FileError(hip_file,
                        hip_file + " has a save version without major.minor: " + *version);
    return *(*match)[0];
}

}  // namespace scanflow
