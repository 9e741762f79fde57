#include "upload/gather.h"

#include <unordered_set>

#include "base/console.h"
#include "base/text.h"
#include "base/timed.h"
#include "upload/drive_map.h"
#include "util/file_facts.h"
#include "util/paths.h"

namespace scanflow {

namespace {

// The candidate's asset entry, unless it is missing, already handled or climbs above its start.
void add_asset(const std::string& candidate, const DriveMap& drives, DirCache& listings, Flavour f,
               std::unordered_set<std::string>& handled, std::vector<UploadEntry>& assets) {
    if (!listings.exists(os_path(candidate, f))) return;
    std::string local = slashes_forward(normpath(candidate, f));
    // Windows paths differ only in case name the same file.
    if (!handled.insert(f.windows ? ascii_lower(local) : local).second) return;
    if (local.find("../") != std::string::npos) return;
    // `local` is normalised already: its server form needs no second normalisation.
    std::string server = replace_drive_in_path(server_form(local), drives);
    assets.push_back({replace_drive_in_path(local, drives), std::move(server)});
}

void write_entry(JsonWriter& out, const UploadEntry& entry, const std::string* hash) {
    out.begin_object();
    out.key("local");
    out.string(entry.local);
    out.key("server");
    out.string(entry.server);
    if (hash) {
        out.key("hash");
        out.string(*hash);
    }
    out.end_object();
}

}  // namespace

UploadRecord gather_upload(const std::vector<std::string>& upload_paths, const std::string& scene,
                           DirCache& listings, Flavour f) {
    return timed(2, "gather_upload", [&] {
        console::print_cmd("start gather upload file");
        DriveMap drives = drive_replacement_map(f);
        UploadRecord record;
        std::unordered_set<std::string> handled;
        for (const auto& item : upload_paths) {
            if (listings.isfile(os_path(item, f))) {
                add_asset(item, drives, listings, f, handled, record.asset);
            } else {
                for (const auto& file : get_files(item, listings, f))
                    add_asset(file, drives, listings, f, handled, record.asset);
            }
        }
        record.scene.local = replace_drive_in_path(slashes_forward(scene), drives);
        record.scene.server = replace_drive_in_path(convert_path(scene, f), drives);
        std::string ext = splitext(scene, f).second;
        if (ext == ".usd" || ext == ".usda" || ext == ".usdc") record.asset.push_back(record.scene);
        record.hash = getFileMd5(os_path(scene, f));
        console::print_cmd("gather upload file ok");
        return record;
    });
}

void write_upload_record(JsonWriter& out, const UploadRecord& record) {
    out.begin_object();
    out.key("asset");
    out.begin_array();
    for (const auto& entry : record.asset) write_entry(out, entry, nullptr);
    out.end_array();
    out.key("scene");
    out.begin_array();
    write_entry(out, record.scene, &record.hash);
    out.end_array();
    out.end_object();
}

}  // namespace scanflow
