#include "nested/redshift.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>

#include "base/console.h"
#include "base/errors.h"
#include "base/os.h"
#include "base/text.h"
#include "base/timed.h"
#include "util/encoding.h"
#include "util/file_handle.h"
#include "util/regex.h"

namespace scanflow {

namespace {

bool accepted_extension(const std::string& match) {
    static const std::vector<std::string> extensions{
        ".rstxbin", ".tga", ".dds",   ".jpg", ".png", ".rsmap", ".iff",  ".rs",  ".exr", ".tiff",
        ".jpeg",    ".hdr", ".bmp",   ".als", ".cin", ".pic",   ".rat",  ".psd", ".psb", ".ies",
        ".gif",     ".rla", ".rlb",   ".pix", ".sgi", ".rgb",   ".rgba", ".si",  ".rs",  ".tif",
        ".tif23",   ".qtl", ".tif16", ".tx",  ".vst", ".yuv",   ".ptex", ".tex", ".dpx", ".vdb"};
    std::string lowered = ascii_lower(match);
    return std::any_of(extensions.begin(), extensions.end(),
                       [&](const std::string& e) { return ends_with(lowered, e); });
}

// Calls `scan` on each line of the file, with the lines of a binary file bounded so that the
// reading streams.
void for_each_line(const std::string& path, const std::function<void(const std::string&)>& scan) {
    FileHandle in = open_for_reading(path);
    constexpr size_t kMaxLine = 1 << 20;
    std::string line;
    // Uninitialised: a small file touches only the pages it fills.
    constexpr size_t kBlock = 1 << 20;
    std::unique_ptr<char[]> block(new char[kBlock]);
    while (size_t n = std::fread(block.get(), 1, kBlock, in.get())) {
        size_t start = 0;
        for (size_t i = 0; i < n; ++i) {
            if (block[i] != '\n') continue;
            line.append(block.get() + start, i + 1 - start);
            scan(line);
            line.clear();
            start = i + 1;
        }
        line.append(block.get() + start, n - start);
        if (line.size() >= kMaxLine) {
            scan(line);
            line.clear();
        }
    }
    if (!line.empty()) scan(line);
}

}  // namespace

std::string get_rs_exe(const Environment& env, DirCache& listings) {
    std::string entries = env.get("PATH").value_or(env.text("path"));
    size_t start = 0;
    while (start <= entries.size()) {
        size_t sep = entries.find(';', start);
        std::string entry =
            entries.substr(start, sep == std::string::npos ? std::string::npos : sep - start);
        std::string candidate = entry + "/redshiftCmdLine.exe";
        if (!entry.empty() && listings.exists(candidate)) return candidate;
        if (sep == std::string::npos) break;
        start = sep + 1;
    }
    return "";
}

std::vector<std::string> get_file_from_rs_cmd(const std::string& rs_file, RedshiftReads in) {
    return timed(2, "get_file_from_rs_cmd", [&] {
        std::vector<std::string> found;
        if (in.rs_asseted.count(rs_file)) return found;
        console::print("rs: " + rs_file);
        in.rs_asseted.insert(rs_file);
        std::string exe = get_rs_exe(in.environment, in.listings);
        if (exe.empty()) {
            console::print("cmdLine is not exists!");
        } else {
            found = get_rs_file_from_cmd(rs_file, exe, in);
        }
        if (found.empty()) found = get_rs_file_with_open(rs_file, in);
        return found;
    });
}

std::vector<std::string> get_rs_file_from_cmd(const std::string& rs_file, const std::string& exe,
                                              RedshiftReads in) {
    return timed(2, "get_rs_file_from_cmd", [&] {
        // Run directly with the proxy as one argument: a name read from a scene never reaches a
        // shell.
        os::ProcessResult result = os::run_process({exe, "-printdependencies", rs_file}, 600);
        if (!result.started) throw FileError(exe, "cannot start " + exe);
        std::vector<std::string> found;
        std::istringstream lines(result.output);
        std::string raw;
        while (std::getline(lines, raw)) {
            std::string line = strip_blanks(bety_out_decode(raw));
            if (line.empty() || line.find("Texture paths") != std::string::npos) continue;
            if (ends_with(line, ".rs") && !in.rs_asseted.count(line)) {
                auto nested = get_file_from_rs_cmd(line, in);
                found.insert(found.end(), nested.begin(), nested.end());
            }
            found.push_back(line);
        }
        return found;
    });
}

std::vector<std::string> get_rs_file_with_open(const std::string& rs_file, RedshiftReads in) {
    return timed(2, "get_rs_file_with_open", [&] {
        std::vector<std::string> found;
        if (!in.listings.exists(rs_file)) return found;
        static const Regex pattern(
            R"re((?:[a-z][:][\\/]|(?:/\.)|(?:\.\./)|(?:\.\.\\)|(?:\.\\)|(?:\./)|[\\\\]){1}[\w _\-\~.:<>() \\/$+]+\.[\w]+)re",
            Regex::IgnoreCase);
        for_each_line(rs_file, [&](const std::string& line) {
            for (const auto& match : pattern.find_all(line)) {
                if (!accepted_extension(match)) continue;
                if (ends_with(match, ".rs") && !in.rs_asseted.count(match)) {
                    console::print("rs is : " + match);
                    auto nested = get_file_from_rs_cmd(match, in);
                    found.insert(found.end(), nested.begin(), nested.end());
                }
                found.push_back(match);
            }
        });
        return found;
    });
}

}  // namespace scanflow
