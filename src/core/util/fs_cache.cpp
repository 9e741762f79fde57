#include "util/fs_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace scanflow {

namespace {

DirEntry::Kind kind_from_stat(const struct stat& st) {
    if (S_ISREG(st.st_mode)) return DirEntry::File;
    if (S_ISDIR(st.st_mode)) return DirEntry::Dir;
    return DirEntry::Other;
}

std::unique_ptr<const Listing> read_directory(const std::string& dir) {
    auto listing = std::make_unique<Listing>();
    const std::string path = dir.empty() ? "." : dir;
    DIR* handle = ::opendir(path.c_str());
    if (handle == nullptr) {
        listing->error = errno;
        return listing;
    }
    listing->ok = true;
    int fd = ::dirfd(handle);
    std::vector<size_t> ends;  // where each entry's name ends in `names`
    while (struct dirent* ent = ::readdir(handle)) {
        std::string_view name = ent->d_name;
        if (name == "." || name == "..") continue;
        DirEntry entry{{}, DirEntry::Other, false};
        switch (ent->d_type) {
            case DT_REG:
                entry.kind = DirEntry::File;
                break;
            case DT_DIR:
                entry.kind = DirEntry::Dir;
                break;
            case DT_LNK:
            case DT_UNKNOWN: {
                struct stat st{};
                struct stat lst{};
                if (::fstatat(fd, ent->d_name, &lst, AT_SYMLINK_NOFOLLOW) == 0)
                    entry.is_link = S_ISLNK(lst.st_mode);
                if (::fstatat(fd, ent->d_name, &st, 0) == 0) {
                    entry.kind = kind_from_stat(st);
                } else {
                    entry.kind = DirEntry::Broken;
                }
                break;
            }
            default:
                entry.kind = DirEntry::Other;
                break;
        }
        listing->names.append(name);
        ends.push_back(listing->names.size());
        listing->entries.push_back(entry);
    }
    ::closedir(handle);
    // The views are taken once the names stay where they are.
    listing->names.shrink_to_fit();
    for (size_t i = 0, start = 0; i < ends.size(); start = ends[i++])
        listing->entries[i].name = std::string_view(listing->names).substr(start, ends[i] - start);
    listing->entries.shrink_to_fit();
    listing->index_entries();
    return listing;
}

bool is_key_already(std::string_view dir) {
    if (dir.empty() || dir[0] != '/') return false;
    if (dir.size() > 1 && dir.back() == '/') return false;
    return dir.find("//") == std::string_view::npos;
}

// The cache key of a directory: absolute, without repeated or trailing slashes.
std::string directory_key(std::string_view dir) {
    if (is_key_already(dir)) return std::string(dir);
    std::string path(dir);
    if (path.empty() || path[0] != '/') {
        char buf[4096];
        std::string cwd = ::getcwd(buf, sizeof buf) ? buf : ".";
        path = path.empty() ? cwd : cwd + "/" + path;
    }
    std::string key;
    key.reserve(path.size());
    for (char c : path)
        if (!(c == '/' && !key.empty() && key.back() == '/')) key.push_back(c);
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    return key;
}

}  // namespace

uint64_t DirCache::next_serial() {
    static std::atomic<uint64_t> serial{0};
    return ++serial;
}

const Listing& DirCache::list(std::string_view dir) {
    // Most questions in a row are about one directory: each thread remembers the last answer
    // (for an absolute directory, which names the same directory wherever the process stands).
    thread_local uint64_t last_cache = 0;
    thread_local std::string last_dir;
    thread_local const Listing* last_listing = nullptr;
    if (last_cache == serial_ && last_dir == dir) return *last_listing;
    const Listing& listing = lookup(dir);
    if (dir.empty() || dir[0] != '/') return listing;
    last_cache = serial_;
    last_dir.assign(dir);
    last_listing = &listing;
    return listing;
}

const Listing& DirCache::lookup(std::string_view dir) {
    std::string key = directory_key(dir);
    Slot* slot = nullptr;
    {
        std::shared_lock lock(mutex_);
        auto it = slots_.find(key);
        if (it != slots_.end()) slot = it->second.get();
    }
    if (!slot) {
        std::unique_lock lock(mutex_);
        auto& entry = slots_[key];
        if (!entry) entry = std::make_unique<Slot>();
        slot = entry.get();
    }
    std::call_once(slot->once, [&] {
        ++reads_;
        slot->listing = read_directory(std::string(dir));
    });
    return *slot->listing;
}

DirEntry::Kind DirCache::kind_of(const std::string& path, bool* found) {
    *found = false;
    size_t slash = path.rfind('/');
    std::string_view parent = slash == std::string::npos
                                  ? std::string_view()
                                  : std::string_view(path).substr(0, slash == 0 ? 1 : slash);
    std::string_view name =
        std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
    if (!name.empty() && name != "." && name != "..") {
        const Listing& listing = list(parent);
        if (listing.ok) {
            if (const DirEntry* entry = listing.find(name)) {
                *found = true;
                return entry->kind;
            }
            return DirEntry::Broken;
        }
        // A parent that does not exist, or is no directory, has nothing below it.
        if (listing.error == ENOENT || listing.error == ENOTDIR) return DirEntry::Broken;
    }
    // Names the listing cannot answer for ("", ".", ".." and unreadable parents).
    struct stat lst{};
    if (::lstat(path.c_str(), &lst) != 0) return DirEntry::Broken;
    *found = true;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return DirEntry::Broken;
    return kind_from_stat(st);
}

void Listing::index_entries() {
    size_t size = 8;
    while (size < 2 * entries.size()) size *= 2;
    slots_.assign(size, 0);
    for (size_t i = 0; i < entries.size(); ++i) {
        size_t at = std::hash<std::string_view>{}(entries[i].name) & (size - 1);
        while (slots_[at] != 0) at = (at + 1) & (size - 1);
        slots_[at] = static_cast<uint32_t>(i + 1);
    }
}

size_t Listing::position_of(std::string_view name) const {
    if (slots_.empty()) return npos;
    const size_t mask = slots_.size() - 1;
    for (size_t at = std::hash<std::string_view>{}(name)&mask; slots_[at] != 0;
         at = (at + 1) & mask) {
        size_t i = slots_[at] - 1;
        if (entries[i].name == name) return i;
    }
    return npos;
}

FileFacts Listing::facts_of(size_t i, const std::string& path) const {
    std::call_once(facts_made_, [&] {
        facts_ = std::make_unique<FileFacts[]>(entries.size());
        stated_ = std::make_unique<std::atomic<bool>[]>(entries.size());
    });
    if (stated_[i].load(std::memory_order_acquire)) return facts_[i];
    // Two threads may state the same file at once; they write the same facts.
    FileFacts read = stat_file(path);
    {
        std::lock_guard lock(facts_mutex_);
        if (stated_[i].load(std::memory_order_relaxed)) return facts_[i];
        facts_[i] = read;
        stated_[i].store(true, std::memory_order_release);
    }
    return read;
}

bool Listing::holds_tx_names() const {
    std::call_once(tx_known_, [&] {
        for (const auto& entry : entries) {
            std::string_view n = entry.name;
            if (n.size() >= 3 && n[n.size() - 3] == '.' && (n[n.size() - 2] | 0x20) == 't' &&
                (n[n.size() - 1] | 0x20) == 'x') {
                holds_tx_ = true;
                return;
            }
        }
    });
    return holds_tx_;
}

FileFacts DirCache::facts(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash + 1 < path.size()) {
        const Listing& listing = list(std::string_view(path).substr(0, slash == 0 ? 1 : slash));
        size_t i = listing.ok ? listing.position_of(std::string_view(path).substr(slash + 1))
                              : Listing::npos;
        if (i != Listing::npos) return listing.facts_of(i, path);
    }
    return stat_file(path);
}

bool DirCache::lexists(const std::string& path) {
    bool found = false;
    kind_of(path, &found);
    return found;
}

bool DirCache::exists(const std::string& path) {
    bool found = false;
    return kind_of(path, &found) != DirEntry::Broken && found;
}

bool DirCache::isfile(const std::string& path) {
    bool found = false;
    return kind_of(path, &found) == DirEntry::File && found;
}

bool DirCache::isdir(const std::string& path) {
    bool found = false;
    return kind_of(path, &found) == DirEntry::Dir && found;
}

}  // namespace scanflow
