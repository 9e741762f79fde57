#include "output/run_summary.h"

#include <algorithm>
#include <cstdio>

#include "base/os.h"
#include "run/tip_codes.h"
#include "util/json.h"
#include "util/stream_iterator.h"
#include "util/stream_reader.h"

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

// How many messages each tip code holds, in the file's order, counted as tips.json is read: a run
// that misses a million files wrote a million lines there, and a document of them is not made.
class TipCounts : public nlohmann::json_sax<Json> {
public:
    std::vector<std::pair<std::string, size_t>> codes;
    bool object = false;  // the file holds an object: the codes and their messages

    bool null() override { return element(); }
    bool boolean(bool) override { return element(); }
    bool number_integer(number_integer_t) override { return element(); }
    bool number_unsigned(number_unsigned_t) override { return element(); }
    bool number_float(number_float_t, const string_t&) override { return element(); }
    bool string(string_t&) override { return element(); }
    bool binary(binary_t&) override { return element(); }
    bool start_object(std::size_t) override {
        if (open_ == 0) object = true;
        element();
        ++open_;
        return true;
    }
    bool key(string_t& code) override {
        if (!at_codes()) return true;
        auto known = std::find_if(codes.begin(), codes.end(),
                                  [&](const auto& entry) { return entry.first == code; });
        current_ = static_cast<size_t>(known - codes.begin());
        if (known == codes.end()) codes.emplace_back(code, 0);
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override {
        if (at_codes()) {
            codes[current_].second = 0;
            counting_ = true;
        } else {
            element();
        }
        ++open_;
        return true;
    }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

private:
    // A value where it stands: a code's one message, or one more of a code's list.
    bool element() {
        if (at_codes()) codes[current_].second = 1;
        if (open_ == 2 && counting_) ++codes[current_].second;
        return true;
    }
    bool at_codes() const { return object && open_ == 1; }
    bool close() {
        if (--open_ == 1) counting_ = false;
        return true;
    }
    size_t open_ = 0;     // containers open
    size_t current_ = 0;  // the code whose value is being read
    bool counting_ = false;
};

void add_tips(const std::string& path_json, std::vector<std::string>& out) {
    const std::string path = path_json + "/tips.json";
    if (!os::is_file(path)) return;
    TipCounts counts;
    try {
        StreamReader in(path);
        if (!Json::sax_parse(StreamIterator<StreamReader>(&in), StreamIterator<StreamReader>(),
                             &counts) ||
            !counts.object)
            return;
    } catch (const std::exception&) {
        return;
    }
    std::vector<std::string> lines;
    for (const auto& [code, count] : counts.codes) {
        if (count == 0) continue;
        std::string_view words = tip::meaning(code);
        lines.push_back("    " + code + " (" + std::to_string(count) +
                        "): " + (words.empty() ? "see tips.json" : std::string(words)));
    }
    out.push_back("  tips: " +
                  (lines.empty() ? std::string("none") : std::to_string(lines.size())));
    out.insert(out.end(), lines.begin(), lines.end());
}

// One more missing file: listed while fewer than the first few are.
void count_missing(MissingFiles& out, std::string_view file, std::string_view where) {
    if (out.count++ < kListed)
        out.first.push_back(std::string(file) +
                            (where.empty() ? "" : "  (" + std::string(where) + ")"));
}

}  // namespace

// The USD-file flow lists the missing files; only the first few lines are made, however many
// there are.
MissingFiles missing_files_of(const Json& missing) {
    MissingFiles out;
    if (!missing.is_array()) return out;
    for (const auto& file : missing)
        if (file.is_string()) count_missing(out, file.get_ref<const std::string&>(), "");
    return out;
}

// The scene flow keys them by the parameter that names them.
MissingFiles missing_files_of(const MissingRecord& missing) {
    MissingFiles out;
    for (const auto& [parm, path] : missing.parameters) count_missing(out, path, parm);
    for (const auto& path : missing.nested) count_missing(out, path, "Nested_Assets");
    return out;
}

std::vector<std::string> run_summary(const std::string& scene, const std::string& path_json,
                                     const FileSummary& files) {
    std::vector<std::string> out{"scanflow: analysed " + scene + "; results in " + path_json};
    add_files(files, out);
    add_render_nodes(read_result(path_json, "task.json"), out);
    add_tips(path_json, out);
    return out;
}

}  // namespace scanflow
