// The upload record: local and server forms of every file the scene depends on.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "util/environment.h"
#include "util/flavour.h"
#include "util/fs_cache.h"
#include "util/json_writer.h"

namespace scanflow {

struct UploadEntry {
    std::string local;  // as the submitting machine sees it, mapped drives replaced

    UploadEntry() = default;
    UploadEntry(const UploadEntry& other)
        : local(other.local),
          server_(other.server_ ? std::make_unique<std::string>(*other.server_) : nullptr) {}
    UploadEntry(UploadEntry&&) noexcept = default;
    UploadEntry& operator=(UploadEntry&&) noexcept = default;
    UploadEntry& operator=(const UploadEntry& other) { return *this = UploadEntry(other); }

    // As the farm stores it.
    const std::string& server_path() const { return server_ ? *server_ : local; }
    static UploadEntry of(std::string local, std::string server) {
        UploadEntry entry;
        if (server != local) entry.server_ = std::make_unique<std::string>(std::move(server));
        entry.local = std::move(local);
        return entry;
    }

private:
    // On Linux and macOS nearly always the local form: held apart only where it differs, so
    // that a hundred thousand entries take a pointer each for it, not a string.
    std::unique_ptr<std::string> server_;
};

struct UploadRecord {
    std::vector<UploadEntry> asset;
    UploadEntry scene;
    std::string hash;  // the scene's digest
};

// Every existing file of `upload_paths` (directories walked), once, with mapped drives replaced;
// a USD scene is an asset too. The drives mapped are those of the environment's mount map. The
// files are looked at on up to `threads` threads. The paths are taken, and let go of one by one
// as their entries are made.
UploadRecord gather_upload(std::vector<std::string> upload_paths, const std::string& scene,
                           const Environment& env, DirCache& listings, Flavour f, unsigned threads);

// Whether `path` is written as the entry made from it writes its local form, so that facts
// asked for the one are the other's. Never on Windows, where entries change case and drives.
bool written_as_uploaded(const std::string& path, Flavour f);

// The record as upload.json holds it: {"asset": [{"local", "server"}…], "scene": [{"local",
// "server", "hash"}]}.
void write_upload_record(JsonWriter& out, const UploadRecord& record);

}  // namespace scanflow
