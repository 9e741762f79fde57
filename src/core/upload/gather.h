// The upload record: local and server forms of every file the scene depends on.
#pragma once

#include <string>
#include <vector>

#include "util/flavour.h"
#include "util/fs_cache.h"
#include "util/json_writer.h"

namespace scanflow {

struct UploadEntry {
    std::string local;   // as the submitting machine sees it, mapped drives replaced
    std::string server;  // as the farm stores it
};

struct UploadRecord {
    std::vector<UploadEntry> asset;
    UploadEntry scene;
    std::string hash;  // the scene's digest
};

// Every existing file of `upload_paths` (directories walked), once, with mapped drives replaced;
// a USD scene is an asset too. The files are looked at on up to `threads` threads.
UploadRecord gather_upload(const std::vector<std::string>& upload_paths, const std::string& scene,
                           DirCache& listings, Flavour f, unsigned threads);

// The record as upload.json holds it: {"asset": [{"local", "server"}…], "scene": [{"local",
// "server", "hash"}]}.
void write_upload_record(JsonWriter& out, const UploadRecord& record);

}  // namespace scanflow
