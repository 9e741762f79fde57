#include "upload/gather.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "base/console.h"
#include "base/people.h"
#include "base/text.h"
#include "base/timed.h"
#include "upload/drive_map.h"
#include "util/file_facts.h"
#include "util/paths.h"
#include "util/work_pool.h"

namespace scanflow {

namespace {

// The candidates that exist, each with its upload entry ("local" normalised, with "/"
// separators) and the key that tells it apart: the local form, in lower case on Windows, before
// mapped drives are replaced.
struct Examined {
    std::vector<UploadEntry> entries;
    std::vector<uint8_t> exists;
    std::vector<std::string> keys;  // only where the key is not the local form itself

    std::string_view key(size_t i) const { return keys.empty() ? entries[i].local : keys[i]; }
};

// The entry of a local path, normalised and with "/" separators. Most are their own server form
// (no drive, no share, no drive mapped): those are made without a copy.
UploadEntry entry_of(std::string local, const DriveMap& drives) {
    if (drives.empty() && local.find(":/") == std::string::npos && !starts_with(local, "//")) {
        UploadEntry entry;
        entry.local = std::move(local);
        return entry;
    }
    // `local` is normalised already: its server form needs no second normalisation.
    std::string server = replace_drive_in_path(server_form(local), drives);
    return UploadEntry::of(replace_drive_in_path(std::move(local), drives), std::move(server));
}

// Whether entries are told apart by keys of their own, not by their local forms.
bool keyed(const DriveMap& drives, Flavour f) {
    return f.windows || !drives.empty();
}

// The entry of an existing file, and its key where `key` is asked for.
UploadEntry examined_entry(const std::string& path, const DriveMap& drives, Flavour f,
                           std::string* key) {
    std::string local = normpath(path, f);
    std::replace(local.begin(), local.end(), '\\', '/');
    if (key) *key = f.windows ? ascii_lower(local) : local;
    return entry_of(std::move(local), drives);
}

bool is_file(const std::string& path, DirCache& listings, Flavour f) {
    return f.windows ? listings.isfile(os_path(path, f)) : listings.isfile(path);
}

Examined examine_all(std::vector<std::string>& candidates, const DriveMap& drives,
                     DirCache& listings, Flavour f, unsigned threads) {
    Examined out;
    out.entries.resize(candidates.size());
    out.exists.resize(candidates.size());
    if (keyed(drives, f)) out.keys.resize(candidates.size());
    std::atomic<size_t> checked{0};
    parallel_for(candidates.size(), threads, [&](size_t i) {
        // Counted a thousand at a time: threads that met at every file would wait on each other.
        if (i % 1024 == 1023) people::progress("files checked", checked += 1024);
        // Each candidate is let go of once looked at: its entry holds the path from then on.
        std::string path = std::move(candidates[i]);
        bool found = f.windows ? listings.exists(os_path(path, f)) : listings.exists(path);
        if (!found) return;
        out.exists[i] = 1;
        out.entries[i] = examined_entry(path, drives, f, out.keys.empty() ? nullptr : &out.keys[i]);
    });
    people::progress_done("files checked", candidates.size());
    return out;
}

// The files looked at ahead follow the paths looked at now.
void append(Examined& examined, ExaminedFiles ahead) {
    size_t count = ahead.entries.size();
    if (count == 0) return;
    if (!ahead.keys.empty()) {
        examined.keys.resize(examined.entries.size());
        examined.keys.insert(examined.keys.end(), std::make_move_iterator(ahead.keys.begin()),
                             std::make_move_iterator(ahead.keys.end()));
    }
    examined.entries.insert(examined.entries.end(), std::make_move_iterator(ahead.entries.begin()),
                            std::make_move_iterator(ahead.entries.end()));
    examined.exists.resize(examined.exists.size() + count, 1);
}

// Facts known for the entries from `from` on, as many as there are, and where known, those
// entries in the order of their facts lines.
struct KnownFacts {
    size_t from = 0;
    std::vector<FileFacts> facts;
    std::vector<uint32_t> order;
};

// The facts of the entries kept, and their order, go with them.
void keep_known(KnownFacts& known, const std::vector<uint8_t>& keep) {
    auto theirs = keep.begin() + known.from;
    size_t from = std::count(keep.begin(), theirs, 1);
    if (known.order.size() == known.facts.size()) {
        // Each kept entry's place among those kept; the order keeps only theirs.
        std::vector<uint32_t> place(known.facts.size());
        uint32_t kept = 0;
        for (size_t i = 0; i < known.facts.size(); ++i) {
            place[i] = static_cast<uint32_t>(from) + kept;
            kept += theirs[i];
        }
        size_t n = 0;
        for (uint32_t i : known.order)
            if (theirs[i]) known.order[n++] = place[i];
        known.order.resize(n);
    } else {
        known.order.clear();
    }
    keep_flagged(known.facts, std::vector<uint8_t>(theirs, theirs + known.facts.size()));
    known.from = from;
}

// The entries to upload, in the candidates' order: the first of each key, and none that climbs
// above its start (its key counts as handled all the same). Windows paths that differ only in
// case name the same file. The facts known go with their entries.
std::vector<UploadEntry> first_of_each(Examined examined, KnownFacts& known) {
    std::vector<uint8_t> keep(examined.entries.size());
    {
        SeenPositions handled(examined.entries.size(), [&](size_t i) { return examined.key(i); });
        for (size_t i = 0; i < examined.entries.size(); ++i) {
            if (!examined.exists[i] || !handled.insert(i)) continue;
            keep[i] = examined.key(i).find("../") == std::string_view::npos;
        }
    }
    if (!known.facts.empty()) keep_known(known, keep);
    // Kept entries move down in place, once no view of them is held.
    keep_flagged(examined.entries, keep);
    return std::move(examined.entries);
}

// Whether any of the paths is not a file: looked at side by side, each as it is named.
bool any_but_files(const std::vector<std::string>& paths, DirCache& listings, Flavour f,
                   unsigned threads) {
    std::atomic<bool> any{false};
    parallel_for(paths.size(), threads, [&](size_t i) {
        if (any.load(std::memory_order_relaxed)) return;
        if (!is_file(paths[i], listings, f)) any = true;
    });
    return any;
}

// Directories stand for every file below them.
std::vector<std::string> flattened(const std::vector<std::string>& upload_paths, DirCache& listings,
                                   Flavour f, unsigned threads, bool* any_directory) {
    std::vector<std::string> files;
    *any_directory = any_but_files(upload_paths, listings, f, threads);
    if (!*any_directory) return {};
    for (const auto& item : upload_paths) {
        if (is_file(item, listings, f)) {
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
    out.string(entry.server_path());
    if (hash) {
        out.key("hash");
        out.string(*hash);
    }
    out.end_object();
}

}  // namespace

std::optional<ExaminedFiles> examine_files_ahead(std::vector<std::string>& paths,
                                                 const Environment& env, DirCache& listings,
                                                 Flavour f, const std::atomic<bool>& leave) {
    keep_first_occurrences(paths);
    for (const auto& path : paths)
        if (leave || !is_file(path, listings, f)) return std::nullopt;
    DriveMap drives = drive_replacement_map(env, f);
    ExaminedFiles out;
    out.entries.reserve(paths.size());
    if (keyed(drives, f)) out.keys.resize(paths.size());
    // The paths stay until every entry is made, so that the caller has them when left.
    for (size_t i = 0; i < paths.size(); ++i) {
        if (leave) return std::nullopt;
        out.entries.push_back(
            examined_entry(paths[i], drives, f, out.keys.empty() ? nullptr : &out.keys[i]));
    }
    std::vector<std::string>().swap(paths);
    return out;
}

bool state_examined_files(ExaminedFiles& files, DirCache& listings,
                          const std::atomic<bool>& leave) {
    files.facts.reserve(files.entries.size());
    for (size_t i = files.facts.size(); i < files.entries.size(); ++i) {
        if (leave) return false;
        files.facts.push_back(listings.facts(files.entries[i].local));
    }
    return true;
}

UploadRecord gather_upload(std::vector<std::string> upload_paths, const std::string& scene,
                           const Environment& env, DirCache& listings, Flavour f, unsigned threads,
                           ExaminedFiles ahead) {
    return timed(2, "gather_upload", [&] {
        console::print_cmd("start gather upload file");
        DriveMap drives = drive_replacement_map(env, f);
        bool any_directory = false;
        std::vector<std::string> walked =
            flattened(upload_paths, listings, f, threads, &any_directory);
        std::vector<std::string>& candidates = any_directory ? walked : upload_paths;
        // Each candidate is looked at side by side; the record is made in order.
        UploadRecord record;
        Examined examined = examine_all(candidates, drives, listings, f, threads);
        KnownFacts known{examined.entries.size(), std::move(ahead.facts),
                         std::move(ahead.facts_order)};
        append(examined, std::move(ahead));
        // Each candidate was let go of as its entry was made; the list goes too, before the
        // entries are sorted out.
        std::vector<std::string>().swap(candidates);
        record.asset = first_of_each(std::move(examined), known);
        record.facts = std::move(known.facts);
        record.facts_from = known.from;
        record.facts_order = std::move(known.order);
        record.scene = UploadEntry::of(replace_drive_in_path(slashes_forward(scene), drives),
                                       replace_drive_in_path(convert_path(scene, f), drives));
        std::string ext = splitext(scene, f).second;
        if (ext == ".usd" || ext == ".usda" || ext == ".usdc") record.asset.push_back(record.scene);
        record.hash = getFileMd5(os_path(scene, f));
        console::print_cmd("gather upload file ok");
        return record;
    });
}

bool written_as_uploaded(const std::string& path, Flavour f) {
    return !f.windows && slashes_forward(normpath(path, f)) == path;
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
