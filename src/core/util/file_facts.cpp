#include "util/file_facts.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "base/errors.h"
#include "util/encoding.h"
#include "util/regex.h"

namespace scanflow {

namespace {

class Fd {
public:
    explicit Fd(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (fd_ < 0) throw FileError(path, "cannot open " + path + ": " + std::strerror(errno));
    }
    ~Fd() { ::close(fd_); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    // Reads up to `size` bytes; 0 at the end. A directory or I/O failure is a FileError.
    size_t read(char* buffer, size_t size, const std::string& path) {
        while (true) {
            ssize_t n = ::read(fd_, buffer, size);
            if (n >= 0) return static_cast<size_t>(n);
            if (errno != EINTR)
                throw FileError(path, "cannot read " + path + ": " + std::strerror(errno));
        }
    }

private:
    int fd_;
};

std::string mtime_text(const FileFacts& facts) {
    if (!facts.readable) return "0";
    // Files written together share their second: each thread keeps the last one formatted.
    thread_local std::int64_t last_seconds = -1;
    thread_local std::string last_text;
    if (facts.mtime == last_seconds) return last_text;
    std::tm local{};
    time_t seconds = static_cast<time_t>(facts.mtime);
    if (::localtime_r(&seconds, &local) == nullptr) return "0";
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    last_seconds = facts.mtime;
    last_text = buf;
    return last_text;
}

}  // namespace

std::string getFileMd5(const std::string& file_path) {
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr);
    struct stat st{};
    if (::stat(file_path.c_str(), &st) == 0) {
        Fd fd(file_path);
        // Large blocks: scene files of several gigabytes, digested in constant memory.
        std::vector<char> block(1 << 20);
        while (size_t n = fd.read(block.data(), block.size(), file_path))
            EVP_DigestUpdate(ctx.get(), block.data(), n);
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(ctx.get(), digest, &length);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out.push_back(hex[digest[i] >> 4]);
        out.push_back(hex[digest[i] & 15]);
    }
    return out;
}

FileFacts stat_file(const std::string& file_path) {
    struct stat st{};
    if (::stat(file_path.c_str(), &st) != 0) return {};
    return FileFacts{true, static_cast<std::int64_t>(st.st_size),
                     static_cast<std::int64_t>(st.st_mtime)};
}

std::string file_data_line(const std::string& file_path, const FileFacts& facts) {
    std::string time = mtime_text(facts);
    std::string size = facts.readable ? std::to_string(facts.size) : "0";
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
