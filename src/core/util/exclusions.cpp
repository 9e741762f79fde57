#include "util/exclusions.h"

#include <set>

#include "base/errors.h"
#include "base/text.h"

namespace scanflow {

std::optional<std::string> search_unavailable_path(const std::string& path,
                                                   std::vector<std::string>& prefixes) {
    for (auto& prefix : prefixes) prefix = ascii_lower(prefix);
    for (const auto& prefix : prefixes)
        if (starts_with(path, prefix)) return path;
    return std::nullopt;
}

std::vector<std::optional<std::string>> filter_otls_path(const Environment& env, Flavour f) {
    std::vector<std::optional<std::string>> entries;
    auto add = [&](std::optional<std::string> entry) {
        for (const auto& known : entries)
            if (known == entry) return;
        entries.push_back(std::move(entry));
    };
    for (const char* name : {"PXR_PLUGINPATH_NAME", "HOUDINI_PATH"}) {
        std::string text = env.text(name);
        if (text.empty()) continue;
        size_t start = 0;
        while (true) {
            size_t hit = text.find(f.path_list_separator(), start);
            add(text.substr(start, hit == std::string::npos ? std::string::npos : hit - start));
            if (hit == std::string::npos) break;
            start = hit + 1;
        }
    }
    add(env.get("HH"));
    return entries;
}

std::pair<std::vector<std::string>, std::vector<std::string>> filter_excluded_paths(
    const std::vector<std::optional<std::string>>& filter_path,
    const std::vector<std::string>& otls_assetpath, Flavour f) {
    std::vector<std::string> prefixes;
    for (const auto& entry : filter_path) {
        if (!entry)
            throw Error("an asset-library search directory is not set (is HH set?)", "TypeError");
        prefixes.push_back(normpath(*entry, f) + f.sep());
    }
    std::vector<std::string> files;
    std::vector<std::string> dirs;
    std::set<std::string> seen_dirs;
    for (const auto& library : otls_assetpath) {
        std::string dir = dirname(library, f);
        std::string key = normpath(dir, f) + f.sep();
        bool excluded = false;
        for (const auto& prefix : prefixes) excluded = excluded || starts_with(key, prefix);
        if (excluded) continue;
        bool kept_before = false;
        for (const auto& file : files) kept_before = kept_before || file == library;
        if (kept_before) continue;
        files.push_back(library);
        if (seen_dirs.insert(dir).second) dirs.push_back(dir);
    }
    return {dirs, files};
}

}  // namespace scanflow
