// The recursive analysis of files named inside files: each reader by the file's ending, relative
// names joined to the file's directory, textures and volumes widened to their families, scene
// files descended into, each once per run.
#include <algorithm>
#include <fstream>
#include <optional>

#include "drivers/analysis.h"
#include "entry/console.h"
#include "entry/state.h"
#include "entry/timed.h"
#include "util/fs_cache.h"
#include "util/paths.h"
#include "util/regex.h"

namespace scanflow {

namespace {

bool ends_with_any(const std::string& path, std::initializer_list<const char*> endings) {
    for (const char* e : endings)
        if (ends_with(path, e)) return true;
    return false;
}

// The file name of `path` with every run of digits replaced, joined again with its directory.
std::string digits_replaced(const std::string& path, const std::string& replacement, Flavour f) {
    static const Regex digits(R"(\d+)", Regex::IgnoreCase);
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "" : path.substr(0, slash);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string replaced = digits.replace_all(name, replacement);
    return dir.empty() ? replaced : join(dir, replaced, f);
}

}  // namespace

std::vector<std::string> AnalysUsd::ass_usd_usda_asset(const std::string& ass_path) {
    return ass_usd_usda_asset(ass_path, current_flavour());
}

std::vector<std::string> AnalysUsd::ass_usd_usda_asset(const std::string& ass_path, Flavour f) {
    return timed(2, "ass_usd_usda_asset", [&] {
        FsScope listings;
        std::vector<std::string> result;
        // Depth first, with an explicit stack instead of C++ recursion: one frame per open file,
        // holding the names it gave and the descents of the name being handled.
        struct Frame {
            std::string dir;
            std::vector<std::string> named;
            size_t next = 0;
            std::vector<std::string> descents;
            size_t next_descent = 0;
        };
        auto visit_key = [&](const std::string& p) { return state().IS_WIN ? ascii_lower(p) : p; };
        auto open = [&](const std::string& raw) -> std::optional<Frame> {
            std::string path = slashes_forward(raw);
            if (!fs().exists(os_path(path, f))) return std::nullopt;
            std::string key = visit_key(path);
            if (all_ass.count(key)) return std::nullopt;
            console::print("asset path : " + path);
            all_ass.insert(key);
            Frame frame;
            frame.dir = dirname(path, f);
            if (ends_with_any(path, {".ass", ".ass.gz"})) {
                frame.named = get_ass_path(os_path(path, f));
            } else if (ends_with_any(path, {".usd", ".usdc", ".USD", ".usda"})) {
                frame.named = get_stage_references(path);
            } else if (ends_with(path, ".vrscene")) {
                frame.named = read_in_vrscene(path, f);
            } else if (ends_with(path, ".rs")) {
                frame.named = get_file_from_rs_cmd(path);
            }
            return frame;
        };
        std::vector<Frame> stack;
        if (auto first = open(ass_path)) stack.push_back(std::move(*first));
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next_descent < frame.descents.size()) {
                std::string d = frame.descents[frame.next_descent++];
                if (all_ass.count(visit_key(slashes_forward(d)))) continue;
                console::print("child " + d);
                if (auto child = open(d)) stack.push_back(std::move(*child));
                continue;
            }
            if (frame.next >= frame.named.size()) {
                stack.pop_back();
                continue;
            }
            std::string i = frame.named[frame.next++];
            bool relative = !isabs(i, f);
            if (relative) i = normpath(join(frame.dir, i, f), f);
            result.push_back(i);
            if (relative && !fs().exists(os_path(i, f))) continue;
            if (i.find(".tx") != std::string::npos) {
                for (auto& m : glob(replace_all(i, ".tx", "*"), f)) result.push_back(m);
            }
            if (i.find(".vdb") != std::string::npos) {
                for (auto& m : glob(digits_replaced(slashes_forward(i), "*", f), f))
                    result.push_back(m);
            }
            if (!ends_with_any(i, {".ass", ".ass.gz", ".usda", ".usd", ".USD", ".usdc", ".bgeo.sc",
                                   ".vrscene", ".rs"}))
                continue;
            std::string pattern = sequence_key(digits_replaced(slashes_forward(i), "*[0-9]", f));
            // A name without frame digits is its own pattern: recording it would mark the file
            // visited before it is opened, so only real patterns are recorded.
            bool is_pattern = pattern != slashes_forward(i);
            if (is_pattern && all_ass.count(pattern))
                continue;  // a member of a sequence already analysed
            if (is_pattern) all_ass.insert(pattern);
            std::vector<std::string> descent;
            auto matches = glob(pattern, f);
            if (!matches.empty()) add_sequence_file(matches, descent);
            if (fs().exists(os_path(i, f))) descent.push_back(i);
            frame.descents = std::move(descent);
            frame.next_descent = 0;
        }
        return result;
    });
}

std::vector<std::string> AnalysUsd::handle_usda_file(const std::string& usda_file) {
    return timed(2, "handle_usda_file", [&] {
        Flavour f = current_flavour();
        console::print("usda:" + usda_file);
        std::string dir = dirname(usda_file, f);
        std::ifstream in(os_path(usda_file, f), std::ios::binary);
        if (!in) throw FileError(usda_file, "cannot open " + usda_file);
        static const Regex asset(R"(@(.*?)@)", Regex::IgnoreCase);
        std::vector<std::string> found;
        std::string line;
        while (std::getline(in, line)) {
            size_t b = line.find_first_not_of(" \t\r\n,");
            size_t e = line.find_last_not_of(" \t\r\n,");
            line = b == std::string::npos ? "" : line.substr(b, e - b + 1);
            for (const auto& match : asset.find_all(line)) {
                std::string path = match.substr(1, match.size() - 2);
                if (path.empty()) continue;
                if (!isabs(path, f)) path = normpath(join(dir, path, f), f);
                if (std::find(found.begin(), found.end(), path) == found.end())
                    found.push_back(path);
            }
        }
        return found;
    });
}

}  // namespace scanflow
