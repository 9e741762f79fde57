#include "upload/gather.h"

#include <unordered_set>

#include "base/console.h"
#include "base/text.h"
#include "base/timed.h"
#include "upload/drive_map.h"
#include "util/file_facts.h"
#include "util/paths.h"
#include "util/work_pool.h"

namespace scanflow {

namespace {

// A candidate that exists: its local form (normalised, "/" separators), the key that tells it
// apart (the local form, in lower case on Windows) and its upload entry.
struct Candidate {
    bool exists = false;
    std::string key;
    UploadEntry entry;
};

Candidate examine(const std::string& path, const DriveMap& drives, DirCache& listings, Flavour f) {
    if (!listings.exists(os_path(path, f))) return {};
    std::string local = slashes_forward(normpath(path, f));
    Candidate c;
    c.exists = true;
    // Without a case rule or a drive map the key is the entry's own local form.
    if (f.windows || !drives.empty()) c.key = f.windows ? ascii_lower(local) : local;
    // `local` is normalised already: its server form needs no second normalisation.
    c.entry.server = replace_drive_in_path(server_form(local), drives);
    c.entry.local = replace_drive_in_path(std::move(local), drives);
    return c;
}

std::string_view key_of(const Candidate& c, Flavour f, const DriveMap& drives) {
    return f.windows || !drives.empty() ? c.key : c.entry.local;
}

// Directories stand for every file below them.
std::vector<std::string> flattened(const std::vector<std::string>& upload_paths, DirCache& listings,
                                   Flavour f, bool* any_directory) {
    std::vector<std::string> files;
    *any_directory = false;
    for (const auto& item : upload_paths) {
        if (listings.isfile(os_path(item, f))) continue;
        *any_directory = true;
        break;
    }
    if (!*any_directory) return {};
    for (const auto& item : upload_paths) {
        if (listings.isfile(os_path(item, f))) {
            files.push_back(item);
        } else {
            for (auto& file : get_files(item, listings, f)) files.push_back(std::move(file));
        }
    }
    return files;
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
                           DirCache& listings, Flavour f, unsigned threads) {
    return timed(2, "gather_upload", [&] {
        console::print_cmd("start gather upload file");
        DriveMap drives = drive_replacement_map(f);
        bool any_directory = false;
        std::vector<std::string> walked = flattened(upload_paths, listings, f, &any_directory);
        const std::vector<std::string>& candidates = any_directory ? walked : upload_paths;
        // Each candidate is looked at side by side; the record is made in order.
        std::vector<Candidate> examined(candidates.size());
        parallel_for(candidates.size(), threads,
                     [&](size_t i) { examined[i] = examine(candidates[i], drives, listings, f); });
        UploadRecord record;
        std::unordered_set<std::string_view> handled;
        handled.reserve(examined.size());
        std::vector<size_t> kept;
        for (size_t i = 0; i < examined.size(); ++i) {
            // Windows paths differ only in case name the same file; a relative path that climbs
            // above its start is not uploaded, though its key counts as handled.
            std::string_view key = key_of(examined[i], f, drives);
            if (!examined[i].exists || !handled.insert(key).second) continue;
            if (key.find("../") == std::string_view::npos) kept.push_back(i);
        }
        handled = {};
        record.asset.reserve(kept.size());
        for (size_t i : kept) record.asset.push_back(std::move(examined[i].entry));
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
