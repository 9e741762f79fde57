#include "upload/gather.h"

#include <unordered_set>

#include "base/console.h"
#include "base/text.h"
#include "base/timed.h"
#include "upload/drive_map.h"
#include "util/file_facts.h"
#include "util/paths.h"

namespace scanflow {

Json gather_upload(const std::vector<std::string>& upload_paths, const std::string& scene,
                   DirCache& listings, Flavour f) {
    return timed(2, "gather_upload", [&] {
        console::print_cmd("start gather upload file");
        DriveMap drives = drive_replacement_map(f);

        std::vector<std::string> candidates;
        for (const auto& item : upload_paths) {
            if (listings.isfile(os_path(item, f))) {
                candidates.push_back(item);
            } else {
                for (auto& file : get_files(item, listings, f))
                    candidates.push_back(std::move(file));
            }
        }

        Json assets = Json::array();
        std::unordered_set<std::string> handled;
        for (const auto& candidate : candidates) {
            if (!listings.exists(os_path(candidate, f))) continue;
            std::string local = slashes_forward(normpath(candidate, f));
            // Windows paths differ only in case name the same file.
            if (!handled.insert(f.windows ? ascii_lower(local) : local).second) continue;
            if (local.find("../") != std::string::npos) continue;
            Json entry = Json::object();
            entry["local"] = replace_drive_in_path(local, drives);
            // `local` is normalised already: its server form needs no second normalisation.
            entry["server"] = replace_drive_in_path(server_form(local), drives);
            assets.push_back(std::move(entry));
        }

        std::string scene_local = replace_drive_in_path(slashes_forward(scene), drives);
        std::string scene_server = replace_drive_in_path(convert_path(scene, f), drives);
        std::string ext = splitext(scene, f).second;
        if (ext == ".usd" || ext == ".usda" || ext == ".usdc") {
            Json entry = Json::object();
            entry["local"] = scene_local;
            entry["server"] = scene_server;
            assets.push_back(std::move(entry));
        }
        Json scene_entry = Json::object();
        scene_entry["local"] = scene_local;
        scene_entry["server"] = scene_server;
        scene_entry["hash"] = getFileMd5(os_path(scene, f));

        Json record = Json::object();
        record["asset"] = std::move(assets);
        record["scene"] = Json::array({std::move(scene_entry)});
        console::print_cmd("gather upload file ok");
        return record;
    });
}

}  // namespace scanflow
