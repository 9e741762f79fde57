#include "output/result_files.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "base/console.h"
#include "base/os.h"
#include "base/timed.h"
#include "util/encoding.h"
#include "util/flavour.h"

namespace scanflow {

void writeFile(const std::string& info_file, const Json& info_dict) {
    writeFile(info_file, [&](JsonWriter& out) { out.value(info_dict); });
}

void writeFile(const std::string& info_file, const std::function<void(JsonWriter&)>& write) {
    timed(1, "writeFile", [&] {
        std::string name = basename(info_file, native_flavour());
        console::print_cmd("start write " + name);
        // A directory that cannot be made is named by the failure to write into it.
        std::string dir = dirname(info_file, native_flavour()), ignored;
        if (!dir.empty() && !os::is_dir(dir)) os::make_directories(dir, &ignored);
        AtomicFileSink sink(info_file);
        JsonWriter out(sink, Unencodable::Drop);
        write(out);
        out.flush();
        sink.commit();
        console::print_cmd("write " + name + " ok");
    });
}

namespace {

size_t utf8_length(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// A path as one line of text: a control character (a line break among them) or a byte that is not
// UTF-8 is written as \xNN, so that no name a scene gives can add a line or a section.
std::string one_line(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t n = c < 0x80 ? 1 : utf8_length(c);
        if (c >= 0x20 && c != 0x7f && n > 0 && i + n <= text.size() && is_utf8(text.substr(i, n))) {
            out.append(text, i, n);
            i += n;
            continue;
        }
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
        out += escaped;
        ++i;
    }
    return out;
}

// Each code once (the tips keep one entry a code), in the tips' order.
void write_tips_record(JsonWriter& out, const Tips& tips) {
    out.begin_object();
    for (const Tips::Entry& e : tips.entries()) {
        out.key(e.code);
        if (e.script_value.empty())
            out.strings(e.messages);
        else
            out.value(Json::parse(e.script_value));
    }
    out.end_object();
}

// The missing files sorted, each once, then the asset lines; written as they are made: the
// lists can be the whole scene's.
void write_asset_lines(const std::string& info_file, std::vector<std::string_view> missing_paths,
                       const std::vector<std::string>& files, const std::string& scene_file) {
    std::sort(missing_paths.begin(), missing_paths.end());
    missing_paths.erase(std::unique(missing_paths.begin(), missing_paths.end()),
                        missing_paths.end());
    AtomicFileSink sink(info_file);
    auto line = [&sink](std::string_view item) {
        sink.write(one_line(item));
        sink.write("\r\n");
    };
    sink.write("[scene_file]\r\n");
    line(scene_file);
    sink.write("[missing_file]\r\n");
    for (std::string_view path : missing_paths) line(path);
    sink.write("[asset]\r\n");
    for (const auto& file : files) line(file);
    sink.commit();
}

}  // namespace

void write_asset_txt(const std::string& info_file, const Json& missing,
                     const std::vector<std::string>& files, const std::string& scene_file) {
    // Texts are read in place; a value of another kind is written as its text.
    std::deque<std::string> converted;
    std::vector<std::string_view> missing_paths;
    auto take = [&](const Json& value) {
        if (const std::string* text = value.get_ptr<const std::string*>())
            missing_paths.push_back(*text);
        else
            missing_paths.push_back(converted.emplace_back(value_text(value)));
    };
    for (const auto& item : missing.items()) {
        if (item.value().is_array()) {
            for (const auto& path : item.value()) take(path);
        } else {
            take(item.value());
        }
    }
    write_asset_lines(info_file, std::move(missing_paths), files, scene_file);
}

void write_asset_txt(const std::string& info_file, const MissingRecord& missing,
                     const std::vector<std::string>& files, const std::string& scene_file) {
    std::vector<std::string_view> missing_paths;
    missing_paths.reserve(missing.parameters.size() + missing.nested.size());
    for (const auto& parameter : missing.parameters) missing_paths.push_back(parameter.path);
    for (const auto& path : missing.nested) missing_paths.push_back(path);
    write_asset_lines(info_file, std::move(missing_paths), files, scene_file);
}

void ResultAssembly::step(Step next, Step after) {
    bool follows = at_ == after || (after == Step::Tips && at_ == Step::List);
    if (!follows || next <= at_)
        throw std::logic_error("result files written out of order, before " +
                               std::to_string(static_cast<int>(next)));
    at_ = next;
}

void ResultAssembly::upload(const UploadRecord& record) {
    step(Step::Upload, Step::Start);
    writeFile(run_.uploads_json_path, [&](JsonWriter& out) { write_upload_record(out, record); });
}

void ResultAssembly::asset(const std::function<void(JsonWriter&)>& write) {
    step(Step::Asset, Step::Upload);
    writeFile(run_.asset_json_path, write);
}

void ResultAssembly::tips(const Tips& tips) {
    step(Step::Tips, Step::Asset);
    writeFile(run_.tips_json_path, [&](JsonWriter& out) { write_tips_record(out, tips); });
}

void ResultAssembly::asset_list(const MissingRecord& missing,
                                const std::vector<std::string>& files) {
    step(Step::List, Step::Tips);
    write_asset_txt(run_.path_json + "/asset.txt", missing, files, run_.hip_file);
}

void ResultAssembly::succeed() {
    step(Step::Done, Step::Tips);
    writeFile(run_.success_file, Json(""));
}

}  // namespace scanflow
