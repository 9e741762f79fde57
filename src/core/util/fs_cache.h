// The run-wide cache of directory listings. The analysis is bound by the file system, often a
// network share where every metadata call is a round trip, so each directory is listed once per
// run and wildcard expansion, recursive listing and repeated existence tests are answered from
// the listing. Nothing the analysis reads changes while it runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace scanflow {

struct DirEntry {
    enum Kind : uint8_t { File, Dir, Other, Broken };  // after following symbolic links
    std::string name;
    Kind kind;
    bool is_link;
};

struct Listing {
    bool ok = false;                // false when the directory could not be read
    int error = 0;                  // errno of the failed read
    std::vector<DirEntry> entries;  // in the order the directory gave them
    std::unordered_map<std::string, size_t> index;
    const DirEntry* find(const std::string& name) const {
        auto it = index.find(name);
        return it == index.end() ? nullptr : &entries[it->second];
    }
};

class DirCache {
public:
    DirCache() = default;
    DirCache(const DirCache&) = delete;
    DirCache& operator=(const DirCache&) = delete;

    // The listing of `dir` (an operating-system path; "" is the working directory).
    std::shared_ptr<const Listing> list(const std::string& dir);

    bool lexists(const std::string& path);
    bool exists(const std::string& path);
    bool isfile(const std::string& path);
    bool isdir(const std::string& path);

    // Number of directories actually read, for benchmarks and tests.
    size_t reads() const { return reads_; }

private:
    struct Slot {
        std::once_flag once;
        std::shared_ptr<const Listing> listing;
    };
    // The entry for `path` from its parent's listing; falls back to the operating system when
    // the parent cannot be listed. Returns false in `known` when the answer came that way.
    DirEntry::Kind kind_of(const std::string& path, bool* found);

    std::mutex mutex_;
    std::unordered_map<std::string, std::shared_ptr<Slot>> slots_;
    std::atomic<size_t> reads_{0};
};

}  // namespace scanflow
