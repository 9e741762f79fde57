#include "output/task_file.h"

#include "base/console.h"
#include "base/errors.h"
#include "base/os.h"
#include "base/timed.h"
#include "util/flavour.h"

namespace scanflow {

void Write_File(const std::string& info_file, const TaskMerge& merge) {
    timed(2, "Write_File", [&] {
        std::string dir = dirname(info_file, native_flavour()), why;
        if (!dir.empty() && !os::exists(dir) && !os::make_directories(dir, &why))
            throw FileError(dir, "cannot create " + dir + ": " + why);
        try {
            LargeIntegers large;
            Json task = os::exists(info_file) ? read_json_file(info_file, &large) : Json::object();
            if (!task.is_object()) throw FileError(info_file, info_file + " is not a JSON object");
            auto it = task.find("software_config");
            if (it == task.end() || !it->is_object())
                throw FileError(info_file, info_file + " has no \"software_config\" object");
            Json& config = *it;
            config["python_ver"] = merge.python_ver;
            config["houdini_ver"] = merge.houdiniver;
            config["HOUDINI_OTLSCAN_PATH"] = merge.otls_path;
            task["scene_info"] = merge.info_dict;
            if (merge.channel == "4") task["scene_info_render"] = merge.info_dict;
            task["dependency_task"] = merge.rely_task_dict;
            write_file_atomic(info_file, large.restore(dump_json(task)));
        } catch (const std::exception& e) {
            console::print(e.what());
        }
    });
}

}  // namespace scanflow
