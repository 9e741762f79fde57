#include "output/result_files.h"

#include <set>

#include "base/console.h"
#include "base/os.h"
#include "base/timed.h"
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
    std::string text = "[scene_file]\r\n" + scene_file + "\r\n[missing_file]\r\n";
    for (const auto& path : missing_paths) text += path + "\r\n";
    text += "[asset]\r\n";
    for (const auto& line : files) text += line + "\r\n";
    write_file_atomic(info_file, text);
}

}  // namespace scanflow
