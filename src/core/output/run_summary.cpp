#include "output/run_summary.h"

#include <cstdio>

#include "base/os.h"
#include "run/tip_codes.h"
#include "util/json.h"

namespace scanflow {

namespace {

constexpr size_t kListed = 10;

Json read_result(const std::string& path_json, const char* name) {
    std::string path = path_json + "/" + name;
    if (!os::is_file(path)) return Json();
    try {
        return read_json_file(path);
    } catch (const std::exception&) {
        return Json();
    }
}

std::string size_text(double bytes) {
    const char* units[] = {"bytes", "KB", "MB", "GB", "TB"};
    size_t unit = 0;
    while (bytes >= 1024 && unit + 1 < std::size(units)) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    return text;
}

void add_files(const FileSummary& files, std::vector<std::string>& out) {
    if (!files.known) return;
    out.push_back("  files found: " + std::to_string(files.asset_num) + " (" +
                  size_text(static_cast<double>(files.asset_size)) + ")");
    const MissingFiles& missing = files.missing;
    out.push_back("  files missing: " + std::to_string(missing.count));
    for (const auto& line : missing.first) out.push_back("    " + line);
    if (missing.count > missing.first.size())
        out.push_back("    ... and " + std::to_string(missing.count - missing.first.size()) +
                      " more");
    out.push_back("  nested files read: " + std::to_string(files.nested));
}

std::string text_of(const Json& record, const char* key) {
    auto at = record.find(key);
    if (at == record.end() || at->is_null()) return "";
    return at->is_string() ? at->get<std::string>() : at->dump();
}

void add_render_nodes(const Json& task, std::vector<std::string>& out) {
    if (!task.is_object() || !task.contains("scene_info")) return;
    const Json& info = task["scene_info"];
    if (!info.is_object()) return;
    const Json& rops = info.value("rop_node", Json::array());
    if (!rops.is_array()) return;
    out.push_back("  render nodes: " + std::to_string(rops.size()));
    for (const auto& rop : rops) {
        if (!rop.is_object()) continue;
        std::string width = text_of(rop, "width"), height = text_of(rop, "height");
        std::string camera = text_of(rop, "camera");
        out.push_back("    " + text_of(rop, "node") + ": frames " + text_of(rop, "frames") +
                      ", camera " + (camera.empty() ? "not set" : camera) + ", resolution " +
                      (width.empty() || height.empty() ? "not read" : width + "x" + height));
    }
    const Json& geo = info.value("geo_node", Json::array());
    if (geo.is_array() && !geo.empty())
        out.push_back("  output and cache nodes: " + std::to_string(geo.size()));
}

void add_tips(const Json& tips, std::vector<std::string>& out) {
    if (!tips.is_object()) return;
    std::vector<std::string> lines;
    for (const auto& [code, messages] : tips.items()) {
        size_t count = messages.is_array() ? messages.size() : 1;
        if (count == 0) continue;
        std::string_view words = tip::meaning(code);
        lines.push_back("    " + code + " (" + std::to_string(count) +
                        "): " + (words.empty() ? "see tips.json" : std::string(words)));
    }
    out.push_back("  tips: " +
                  (lines.empty() ? std::string("none") : std::to_string(lines.size())));
    out.insert(out.end(), lines.begin(), lines.end());
}

}  // namespace

// The scene flow keys the missing files by the parameter that names them, the USD-file flow lists
// them; only the first few lines are made, however many there are.
MissingFiles missing_files_of(const Json& missing) {
    MissingFiles out;
    auto add = [&](const Json& file, const std::string& where) {
        if (!file.is_string()) return;
        if (out.count++ < kListed)
            out.first.push_back(file.get<std::string>() +
                                (where.empty() ? "" : "  (" + where + ")"));
    };
    if (missing.is_object()) {
        for (const auto& [where, files] : missing.items()) {
            if (files.is_array()) {
                for (const auto& file : files) add(file, where);
            } else {
                add(files, where);
            }
        }
    } else if (missing.is_array()) {
        for (const auto& file : missing) add(file, "");
    }
    return out;
}

std::vector<std::string> run_summary(const std::string& scene, const std::string& path_json,
                                     const FileSummary& files) {
    std::vector<std::string> out{"scanflow: analysed " + scene + "; results in " + path_json};
    add_files(files, out);
    add_render_nodes(read_result(path_json, "task.json"), out);
    add_tips(read_result(path_json, "tips.json"), out);
    return out;
}

}  // namespace scanflow
