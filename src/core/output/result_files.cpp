#include "output/result_files.h"

#include <cstdio>
#include <set>
#include <stdexcept>
#include <string_view>

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

Json tips_record(const Tips& tips) {
    Json record = Json::object();
    for (const Tips::Entry& e : tips.entries())
        record[e.code] = e.script_value.empty() ? Json(e.messages) : Json::parse(e.script_value);
    return record;
}

}  // namespace

void write_asset_txt(const std::string& info_file, const Json& missing,
                     const std::vector<std::string>& files, const std::string& scene_file) {
    std::set<std::string> missing_paths;
    for (const auto& item : missing.items()) {
        if (item.value().is_array()) {
            for (const auto& path : item.value()) missing_paths.insert(value_text(path));
        } else {
            missing_paths.insert(value_text(item.value()));
        }
    }
    std::string text = "[scene_file]\r\n" + one_line(scene_file) + "\r\n[missing_file]\r\n";
    for (const auto& path : missing_paths) text += one_line(path) + "\r\n";
    text += "[asset]\r\n";
    for (const auto& line : files) text += one_line(line) + "\r\n";
    write_file_atomic(info_file, text);
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
    writeFile(run_.tips_json_path, tips_record(tips));
}

void ResultAssembly::asset_list(const Json& missing, const std::vector<std::string>& files) {
    step(Step::List, Step::Tips);
    write_asset_txt(run_.path_json + "/asset.txt", missing, files, run_.hip_file);
}

void ResultAssembly::succeed() {
    step(Step::Done, Step::Tips);
    writeFile(run_.success_file, Json(""));
}

}  // namespace scanflow
