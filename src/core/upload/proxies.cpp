// Readers of renderer scene and proxy files: Redshift proxies, V-Ray scenes, Arnold scenes.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "drivers/related.h"
#include "entry/console.h"
#include "entry/errors.h"
#include "entry/timed.h"
#include "upload/ass_reader.h"
#include "util/encoding.h"
#include "util/fs_cache.h"
#include "util/paths.h"
#include "util/process.h"
#include "util/regex.h"

namespace scanflow {

std::vector<std::string> Related::get_ass_path(const std::string& ass) {
    return scanflow::get_ass_path(ass);
}

std::string Related::get_rs_exe() {
    const char* path = std::getenv("PATH");
    if (path == nullptr) path = std::getenv("path");
    std::string entries = path ? path : "";
    size_t start = 0;
    while (start <= entries.size()) {
        size_t sep = entries.find(';', start);
        std::string entry =
            entries.substr(start, sep == std::string::npos ? std::string::npos : sep - start);
        std::string candidate = entry + "/redshiftCmdLine.exe";
        if (!entry.empty() && fs().exists(candidate)) return candidate;
        if (sep == std::string::npos) break;
        start = sep + 1;
    }
    return "";
}

std::vector<std::string> Related::get_file_from_rs_cmd(const std::string& rs_file) {
    return timed(2, "get_file_from_rs_cmd", [&] {
        std::vector<std::string> found;
        if (rs_asseted.count(rs_file)) return found;
        console::print("rs: " + rs_file);
        rs_asseted.insert(rs_file);
        std::string exe = get_rs_exe();
        if (exe.empty()) {
            console::print("cmdLine is not exists!");
        } else {
            found = get_rs_file_from_cmd(rs_file, exe);
        }
        if (found.empty()) found = get_rs_file_with_open(rs_file);
        return found;
    });
}

std::vector<std::string> Related::get_rs_file_from_cmd(const std::string& rs_file,
                                                       const std::string& exe) {
    return timed(2, "get_rs_file_from_cmd", [&] {
        // Run directly with the proxy as one argument: a name read from a scene never reaches a
        // shell.
        ProcessResult result = run_process({exe, "-printdependencies", rs_file}, 600);
        if (!result.started) throw FileError(exe, "cannot start " + exe);
        std::vector<std::string> found;
        std::istringstream lines(result.output);
        std::string raw;
        while (std::getline(lines, raw)) {
            std::string line = cmd_out_decode(raw);
            size_t b = line.find_first_not_of(" \t\r\n\v\f");
            size_t e = line.find_last_not_of(" \t\r\n\v\f");
            line = b == std::string::npos ? "" : line.substr(b, e - b + 1);
            if (line.empty() || line.find("Texture paths") != std::string::npos) continue;
            if (ends_with(line, ".rs") && !rs_asseted.count(line)) {
                auto nested = get_file_from_rs_cmd(line);
                found.insert(found.end(), nested.begin(), nested.end());
            }
            found.push_back(line);
        }
        return found;
    });
}

std::vector<std::string> Related::get_rs_file_with_open(const std::string& rs_file) {
    return timed(2, "get_rs_file_with_open", [&] {
        std::vector<std::string> found;
        if (!fs().exists(rs_file)) return found;
        static const Regex pattern(
            R"re((?:[a-z][:][\\/]|(?:/\.)|(?:\.\./)|(?:\.\.\\)|(?:\.\\)|(?:\./)|[\\\\]){1}[\w _\-\~.:<>() \\/$+]+\.[\w]+)re",
            Regex::IgnoreCase);
        static const std::vector<std::string> extensions{
            ".rstxbin", ".tga",  ".dds",  ".jpg", ".png",  ".rsmap", ".iff",   ".rs",
            ".exr",     ".tiff", ".jpeg", ".hdr", ".bmp",  ".als",   ".cin",   ".pic",
            ".rat",     ".psd",  ".psb",  ".ies", ".gif",  ".rla",   ".rlb",   ".pix",
            ".sgi",     ".rgb",  ".rgba", ".si",  ".rs",   ".tif",   ".tif23", ".qtl",
            ".tif16",   ".tx",   ".vst",  ".yuv", ".ptex", ".tex",   ".dpx",   ".vdb"};
        std::ifstream in(rs_file, std::ios::binary);
        if (!in) throw FileError(rs_file, "cannot open " + rs_file);
        // Line by line, with the lines of a binary file bounded so that the scan streams.
        constexpr size_t kMaxLine = 1 << 20;
        std::string line;
        auto scan = [&](const std::string& text) {
            for (const auto& match : pattern.find_all(text)) {
                std::string lowered = ascii_lower(match);
                bool accepted =
                    std::any_of(extensions.begin(), extensions.end(),
                                [&](const std::string& e) { return ends_with(lowered, e); });
                if (!accepted) continue;
                if (ends_with(match, ".rs") && !rs_asseted.count(match)) {
                    console::print("rs is : " + match);
                    auto nested = get_file_from_rs_cmd(match);
                    found.insert(found.end(), nested.begin(), nested.end());
                }
                found.push_back(match);
            }
        };
        std::vector<char> block(1 << 20);
        while (in.read(block.data(), static_cast<std::streamsize>(block.size())) ||
               in.gcount() > 0) {
            size_t n = static_cast<size_t>(in.gcount());
            size_t start = 0;
            for (size_t i = 0; i < n; ++i) {
                if (block[i] != '\n') continue;
                line.append(block.data() + start, i + 1 - start);
                scan(line);
                line.clear();
                start = i + 1;
            }
            line.append(block.data() + start, n - start);
            if (line.size() >= kMaxLine) {
                scan(line);
                line.clear();
            }
        }
        if (!line.empty()) scan(line);
        return found;
    });
}

std::vector<std::string> Related::read_in_vrscene(const std::string& vrscene_path) {
    return read_in_vrscene(vrscene_path, current_flavour());
}

std::vector<std::string> Related::read_in_vrscene(const std::string& vrscene_path, Flavour f) {
    console::print("vrscene " + vrscene_path);
    std::string dir = dirname(vrscene_path, f);
    std::ifstream in(os_path(vrscene_path, f), std::ios::binary);
    if (!in) throw FileError(vrscene_path, "cannot open " + vrscene_path);
    static const char* prefixes[] = {
        "file=", "cacheFileDir=", "characterFiles=", "layoutFile=", "cache_path="};
    std::vector<std::string> found;
    auto strip = [](std::string s, const char* chars) {
        size_t b = s.find_first_not_of(chars);
        size_t e = s.find_last_not_of(chars);
        return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
    };
    std::string raw;
    long long line_number = 0;
    while (std::getline(in, raw)) {
        ++line_number;
        if (!is_utf8(raw)) throw ParseError(vrscene_path, line_number, "line is not UTF-8");
        std::string line = strip(raw, " \t\r\n\v\f");
        if (std::none_of(std::begin(prefixes), std::end(prefixes),
                         [&](const char* p) { return starts_with(line, p); }))
            continue;
        std::string value = strip(strip(line.substr(line.find('=') + 1), ";"), "'\"");
        size_t start = 0;
        while (start <= value.size()) {
            size_t sep = value.find(';', start);
            std::string entry =
                value.substr(start, sep == std::string::npos ? std::string::npos : sep - start);
            start = sep == std::string::npos ? value.size() + 1 : sep + 1;
            if (entry.empty()) continue;
            if (!isabs(entry, f)) entry = join(dir, entry, f);
            if (ends_with(entry, ".ifl")) {
                // An image list: every listed image that exists, then the list itself.
                std::ifstream list(os_path(entry, f), std::ios::binary);
                if (!list) throw FileError(entry, "cannot open image list " + entry);
                std::string item;
                std::string list_dir = dirname(entry, f);
                while (std::getline(list, item)) {
                    item = strip(bety_out_decode(item), " \t\r\n\v\f");
                    if (item.empty()) continue;
                    std::string image = join(list_dir, item, f);
                    if (fs().exists(os_path(image, f))) found.push_back(image);
                }
            }
            found.push_back(entry);
        }
    }
    return found;
}

}  // namespace scanflow
