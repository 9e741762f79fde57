// The upload record: local and server forms of every file the scene depends on.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "util/environment.h"
#include "util/file_facts.h"
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
    // The facts of the assets from `facts_from` on, as many as there are, where they were stated
    // ahead of the record.
    std::vector<FileFacts> facts;
    size_t facts_from = 0;
    // Where known, the indices of those assets in the order of their facts lines.
    std::vector<uint32_t> facts_order;

    const FileFacts* facts_of(size_t i) const {
        return i >= facts_from && i - facts_from < facts.size() ? &facts[i - facts_from] : nullptr;
    }
};

// Files to upload looked at ahead of their record, each once: their entries as the record makes
// them, in order, and where the key that tells them apart is not the local form itself (Windows,
// mapped drives), the keys.
struct ExaminedFiles {
    std::vector<UploadEntry> entries;
    std::vector<std::string> keys;
    std::vector<FileFacts> facts;  // of the entries stated, from the first
    // Where known, the indices of the entries stated, in the order of their facts lines.
    std::vector<uint32_t> facts_order;
};

// Looks at `paths` as the record will, on the caller's thread (while the analysis does something
// else): when every one is a file, takes them, each once, and returns their entries; else, or
// when `leave` is set before it is done, leaves them, each once, and returns nothing. The drives
// mapped are those of the environment's mount map.
std::optional<ExaminedFiles> examine_files_ahead(std::vector<std::string>& paths,
                                                 const Environment& env, DirCache& listings,
                                                 Flavour f, const std::atomic<bool>& leave);

// States the files looked at ahead, in order, by their entries' local forms as the record's
// facts are asked for, until done or `leave` is set; returns whether all of them were.
bool state_examined_files(ExaminedFiles& files, DirCache& listings, const std::atomic<bool>& leave);

// Every existing file of `upload_paths` (directories walked), then the files `ahead` (looked at
// with the same environment and flavour), once, with mapped drives replaced; a USD scene is an
// asset too. The drives mapped are those of the environment's mount map. The files are looked at
// on up to `threads` threads. The paths are taken, and let go of one by one as their entries are
// made.
UploadRecord gather_upload(std::vector<std::string> upload_paths, const std::string& scene,
                           const Environment& env, DirCache& listings, Flavour f, unsigned threads,
                           ExaminedFiles ahead = {});

// Whether `path` is written as the entry made from it writes its local form, so that facts
// asked for the one are the other's. Never on Windows, where entries change case and drives.
bool written_as_uploaded(const std::string& path, Flavour f);

// The record as upload.json holds it: {"asset": [{"local", "server"}…], "scene": [{"local",
// "server", "hash"}]}.
void write_upload_record(JsonWriter& out, const UploadRecord& record);

}  // namespace scanflow
