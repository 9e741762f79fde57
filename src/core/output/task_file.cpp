// The merge of the analysis results into the client's task file.
#include <filesystem>

#include "drivers/related.h"
#include "entry/console.h"
#include "entry/errors.h"
#include "entry/state.h"
#include "entry/timed.h"

namespace scanflow {

void Related::Write_File(const std::string& info_file, const std::string& houdiniver,
                         const Json& info_dict, const Json& rely_task_dict,
                         const std::vector<std::string>& otls_path) {
    timed(2, "Write_File", [&] {
        namespace fs = std::filesystem;
        fs::path dir = fs::path(info_file).parent_path();
        if (!dir.empty() && !fs::exists(dir)) fs::create_directories(dir);
        try {
            Json task = fs::exists(info_file) ? read_json_file(info_file) : Json::object();
            if (!task.is_object()) throw FileError(info_file, info_file + " is not a JSON object");
            auto it = task.find("software_config");
            if (it == task.end() || !it->is_object())
                throw FileError(info_file, info_file + " has no \"software_config\" object");
            Json& config = *it;
            config["python_ver"] = state().script_ver_py;
            config["houdini_ver"] = houdiniver;
            config["HOUDINI_OTLSCAN_PATH"] = otls_path;
            task["scene_info"] = info_dict;
            if (channel == "4") task["scene_info_render"] = info_dict;
            task["dependency_task"] = rely_task_dict;
            write_file_atomic(info_file, dump_json(task));
        } catch (const std::exception& e) {
            console::print(e.what());
        }
    });
}

}  // namespace scanflow
