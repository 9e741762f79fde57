#include "output/asset_record.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "base/console.h"
#include "base/errors.h"
#include "base/text.h"
#include "render/record_json.h"
#include "run/tip_codes.h"
#include "util/file_facts.h"
#include "util/work_pool.h"

namespace scanflow {

Json environment_record(const std::optional<std::string>& job, const std::string& python_ver) {
    Json environment = Json::object();
    environment["JOB"] = job ? Json(*job) : Json(nullptr);
    environment["Python_ver"] = python_ver;
    return environment;
}

void require_save_version(const std::string& hip_file) {
    std::optional<std::string> saved = get_file_save_ver(hip_file);
    if (!saved) throw FileError(hip_file, hip_file + " records no save version (_HIP_SAVEVERSION)");
    std::string major = saved->substr(0, saved->find('.'));
    char* end = nullptr;
    (void)std::strtod(major.c_str(), &end);
    if (major.empty() || end == major.c_str() || *end != '\0')
        throw Error(
            "could not convert string to float: '" + major + "' (save version of " + hip_file + ")",
            "ValueError");
}

Tips file_tips(const MissingRecord& missing_file, const std::vector<std::string>& problem_nodes) {
    Tips tips;
    if (!missing_file.empty()) {
        static constexpr std::string_view kArrow = "--->", kNested = "Nested_Assets";
        const std::string nested =
            missing_file.nested.empty() ? "" : texts_repr(missing_file.nested);
        // Measured first: a list of a million lines grown as they come would be copied over and
        // again, and hold twice its size at the end.
        size_t chars = 0;
        for (const auto& [parm, path] : missing_file.parameters)
            chars += parm.size() + kArrow.size() + path.size();
        TextList lines;
        lines.reserve(missing_file.parameters.size() + 1,
                      chars + kNested.size() + kArrow.size() + nested.size());
        std::string line;
        for (const auto& [parm, path] : missing_file.parameters) {
            line.assign(parm);
            line += kArrow;
            line += path;
            lines.push_back(line);
        }
        if (!missing_file.nested.empty())
            lines.push_back(std::string(kNested) + std::string(kArrow) + nested);
        tips.set(tip::kMissingFiles, std::move(lines));
    }
    if (!problem_nodes.empty()) tips.set(tip::kProblemNodes, problem_nodes);
    return tips;
}

void write_missing_record(JsonWriter& out, const MissingRecord& missing) {
    out.begin_object();
    for (const auto& [parm, path] : missing.parameters) {
        out.key(parm);
        out.string(path);
    }
    if (!missing.nested.empty()) {
        out.key("Nested_Assets");
        out.strings(missing.nested);
    }
    out.end_object();
}

namespace {

// The order of the lines' texts, without making them: paths that differ before either ends
// decide alone.
bool line_before(const FactsLine& a, const FactsLine& b) {
    std::string_view p = *a.path, q = *b.path;
    size_t common = std::min(p.size(), q.size());
    int order = p.substr(0, common).compare(q.substr(0, common));
    if (order != 0) return order < 0;
    return a.text() < b.text();
}

// A sort made ahead, left part of the way.
struct Left {};

bool same_line(const FactsLine& a, const FactsLine& b) {
    return *a.path == *b.path && a.text() == b.text();
}

}  // namespace

bool order_examined_files(ExaminedFiles& files, const std::atomic<bool>& leave) {
    auto line = [&](uint32_t i) { return FactsLine{&files.entries[i].local, files.facts[i]}; };
    std::vector<uint32_t> order(files.facts.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    // Left when asked to, between two comparisons.
    auto less = [&](uint32_t a, uint32_t b) {
        if (leave.load(std::memory_order_relaxed)) throw Left{};
        return line_before(line(a), line(b));
    };
    try {
        std::sort(order.begin(), order.end(), less);
    } catch (const Left&) {
        return false;
    }
    files.facts_order = std::move(order);
    return true;
}

UploadFacts state_upload_facts(const UploadRecord& upload, const std::string& hip_file,
                               DirCache& listings, unsigned threads) {
    UploadFacts out;
    const auto& entries = upload.asset;
    // The lines of the files stated ahead come in their order already, where it was made: the
    // others' are sorted, and the two merged.
    size_t from = upload.facts_from;
    size_t known = upload.facts_order.size() == upload.facts.size() ? upload.facts.size() : 0;
    std::vector<uint32_t> others;
    others.reserve(entries.size() - known);
    for (size_t i = 0; i < entries.size(); ++i)
        if (i < from || i >= from + known) others.push_back(static_cast<uint32_t>(i));
    std::vector<FactsLine> lines;
    lines.reserve(entries.size());
    lines.resize(others.size());
    parallel_for(others.size(), threads, [&](size_t n) {
        size_t i = others[n];
        const FileFacts* stated = upload.facts_of(i);
        lines[n] =
            FactsLine{&entries[i].local, stated ? *stated : listings.facts(entries[i].local)};
    });
    std::vector<uint32_t>().swap(others);
    parallel_sort(lines, threads, line_before);
    if (known > 0)
        for (uint32_t i : upload.facts_order)
            lines.push_back(FactsLine{&entries[i].local, upload.facts[i - from]});
    std::inplace_merge(lines.begin(), lines.end() - known, lines.end(), line_before);
    out.scene_file_size = listings.facts(hip_file).size;
    for (const auto& line : lines) out.asset_size += line.facts.size;
    out.asset_num = entries.size();
    lines.erase(std::unique(lines.begin(), lines.end(), same_line), lines.end());
    out.asset = std::move(lines);
    return out;
}

void add_file_facts(AssetRecord& asset, UploadFacts facts) {
    console::print("get file_size start");
    asset.scene_file_size = facts.scene_file_size;
    asset.asset_size = facts.asset_size;
    asset.asset_num = facts.asset_num;
    asset.asset = std::move(facts.asset);
    console::print("get file_size finished");
}

void write_asset_record(JsonWriter& out, const AssetRecord& record) {
    out.begin_object();
    out.key("asset_node");
    out.begin_object();
    for (const auto& [parm, pattern] : record.asset_node->entries()) {
        out.key(parm);
        out.string(slashes_forward(pattern));
    }
    out.end_object();
    out.key("Nested_Assets");
    out.begin_object();
    for (const auto& [path, found] : *record.nested) {
        out.key(path);
        out.strings(found);
    }
    out.end_object();
    out.key("convert_node");
    out.begin_object();
    for (const auto& parameter : *record.convert_node) {
        out.key(parameter.parm);
        out.strings(parameter.files);
    }
    out.end_object();
    out.key("render_settings");
    out.value(render_settings_json(record.render_settings));
    out.key("environment_dict");
    out.value(record.environment);
    out.key("missing_file");
    write_missing_record(out, record.missing_file);
    out.key("scene_file_size");
    out.number(record.scene_file_size);
    out.key("asset_size");
    out.number(record.asset_size);
    out.key("asset_num");
    out.number(static_cast<long long>(record.asset_num));
    out.key("asset");
    out.begin_array();
    for (const auto& line : record.asset) out.string(line.text());
    out.end_array();
    out.end_object();
}

void write_stage_asset_record(JsonWriter& out, const StageAssetRecord& record) {
    out.begin_object();
    out.key("scene_file_size");
    out.number(record.scene_file_size);
    out.key("asset_size");
    out.number(record.asset_size);
    out.key("asset_num");
    out.number(static_cast<long long>(record.asset.size()));
    out.key("asset");
    out.strings(record.asset);
    out.key("Nested_Assets");
    out.begin_object();
    out.key(record.stage);
    out.strings(*record.all);
    out.end_object();
    out.key("missing_file");
    out.strings(*record.missing);
    out.end_object();
}

}  // namespace scanflow
