// The run-wide cache of directory listings and file facts. The analysis is bound by the file
// system, often a network share where every metadata call is a round trip, so each directory is
// listed once per run and wildcard expansion, recursive listing and repeated existence tests are
// answered from the listing, and each file is stated once. Nothing the analysis reads changes
// while it runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/os.h"
#include "util/confinement.h"
#include "util/file_facts.h"
#include "util/file_system.h"

namespace scanflow {

struct DirEntry {
    enum Kind : uint8_t { File, Dir, Other, Broken };  // after following symbolic links
    std::string_view name;                             // a view of its listing's names
    Kind kind;
    bool is_link;
};

struct Listing {
    bool ok = false;         // false when the directory could not be read
    bool outside = false;    // not read: it lies outside the confinement's roots
    bool fold_case = false;  // names compare without case, as on Windows
    os::ListError error = os::ListError::None;
    std::vector<DirEntry> entries;  // in the order the directory gave them
    // The entries' names, end to end: one allocation per directory instead of one per name.
    std::string names;
    // Indexes the entries by name; called once the entries stay where they are.
    void index_entries();
    // The entry of that name, or null.
    const DirEntry* find(std::string_view name) const {
        size_t i = position_of(name);
        return i == npos ? nullptr : &entries[i];
    }
    // The position of the entry of that name in `entries`, or npos.
    size_t position_of(std::string_view name) const;
    static constexpr size_t npos = static_cast<size_t>(-1);
    // The facts of entry `i` (whose path is `path`), stated at the first request.
    FileFacts facts_of(size_t i, const std::string& path, const FileSystem& fs) const;
    // Whether a name ends with ".tx" in any case. Most directories hold no converted textures,
    // and a search for them in such a directory can end here. Worked out at the first request.
    bool holds_tx_names() const;

    Listing() = default;
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;

private:
    // An open-addressed table of entry positions plus one (0: empty), a power of two in size
    // and at most half full: one allocation per directory instead of one per name.
    std::vector<uint32_t> slots_;
    // Made at the first request; an entry's facts are written once, before its flag is set.
    mutable std::once_flag facts_made_;
    mutable std::mutex facts_mutex_;
    mutable std::unique_ptr<FileFacts[]> facts_;
    mutable std::unique_ptr<std::atomic<bool>[]> stated_;
    mutable std::once_flag tx_known_;
    mutable bool holds_tx_ = false;
};

class DirCache {
public:
    explicit DirCache(const FileSystem& fs = machine_file_system())
        : fs_(fs), windows_(fs.flavour().windows) {}
    DirCache(const DirCache&) = delete;
    DirCache& operator=(const DirCache&) = delete;

    // The listing of `dir` (a path of the file system; "" is the working directory), kept for
    // the cache's life.
    const Listing& list(std::string_view dir);

    bool lexists(const std::string& path);
    bool exists(const std::string& path);
    bool isfile(const std::string& path);
    bool isdir(const std::string& path);

    // The size and time of a file, from one stat per path for the cache's life.
    FileFacts facts(const std::string& path);

    // Number of directories actually read, for benchmarks and tests.
    size_t reads() const { return reads_; }

    // From now on only what lies below the confinement's roots is listed or stated; set before
    // the first question.
    void confine(std::shared_ptr<const Confinement> confinement);
    // The paths a question led to that lie outside the roots, in the order they were met.
    std::vector<std::string> refused() const;

private:
    struct Slot {
        std::once_flag once;
        std::unique_ptr<const Listing> listing;
    };
    const Listing& lookup(std::string_view dir);
    // list() without noting a directory outside the roots as refused.
    const Listing& listing_of(std::string_view dir);
    std::unique_ptr<const Listing> confined_listing(const std::string& dir);
    void refuse(const std::string& path);
    // The entry for `path` from its parent's listing; falls back to the operating system when
    // the parent cannot be listed. Returns false in `known` when the answer came that way.
    DirEntry::Kind kind_of(const std::string& path, bool* found);

    const FileSystem& fs_;
    const bool windows_;  // the file system's paths take Windows's shape
    std::shared_mutex mutex_;
    std::unordered_map<std::string, std::unique_ptr<Slot>> slots_;
    std::atomic<size_t> reads_{0};
    std::shared_ptr<const Confinement> confinement_;
    mutable std::mutex refused_mutex_;
    std::vector<std::string> refused_;  // each once, in the order met
    std::unordered_set<std::string> refused_seen_;
    const uint64_t serial_ = next_serial();  // tells caches apart in the per-thread memo
    static uint64_t next_serial();
};

}  // namespace scanflow
