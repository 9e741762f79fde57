#include "util/fs_cache.h"

#include "base/os.h"
#include "base/thread_slot.h"

namespace scanflow {

namespace {

DirEntry::Kind kind_from(os::Kind kind) {
    switch (kind) {
        case os::Kind::File:
            return DirEntry::File;
        case os::Kind::Dir:
            return DirEntry::Dir;
        case os::Kind::Missing:
            return DirEntry::Broken;
        default:
            return DirEntry::Other;
    }
}

FileFacts facts_from(const os::Facts& facts) {
    if (facts.kind == os::Kind::Missing) return {};
    return FileFacts(facts.size, facts.mtime);
}

std::unique_ptr<Listing> read_directory(const FileSystem& fs, const std::string& dir) {
    auto listing = std::make_unique<Listing>();
    listing->fold_case = fs.flavour().windows;
    std::vector<size_t> ends;  // where each entry's name ends in `names`
    listing->error = fs.list_directory(dir, [&](const os::DirItem& item) {
        listing->names.append(item.name);
        ends.push_back(listing->names.size());
        listing->entries.push_back(DirEntry{{}, kind_from(item.kind), item.is_link});
    });
    if (listing->error != os::ListError::None) return listing;
    listing->ok = true;
    // The views are taken once the names stay where they are.
    listing->names.shrink_to_fit();
    for (size_t i = 0, start = 0; i < ends.size(); start = ends[i++])
        listing->entries[i].name = std::string_view(listing->names).substr(start, ends[i] - start);
    listing->entries.shrink_to_fit();
    listing->index_entries();
    return listing;
}

bool is_separator(char c, bool windows) {
    return c == '/' || (windows && c == '\\');
}

// Whether a directory names the same place wherever the process stands: "/x", and on Windows
// "C:/x", "C:\x" and shares.
bool rooted(std::string_view dir, bool windows) {
    if (!windows) return !dir.empty() && dir[0] == '/';
    if (dir.size() >= 3 && dir[1] == ':' && is_separator(dir[2], true)) return true;
    return dir.size() >= 2 && is_separator(dir[0], true) && is_separator(dir[1], true);
}

bool is_key_already(std::string_view dir, bool windows) {
    if (windows || dir.empty() || dir[0] != '/') return false;
    if (dir.size() > 1 && dir.back() == '/') return false;
    return dir.find("//") == std::string_view::npos;
}

// The cache key of a directory: absolute, without repeated or trailing separators; on Windows
// with "/" and in lower case, as the system compares names.
std::string directory_key(std::string_view dir, const FileSystem& fs, bool windows) {
    if (is_key_already(dir, windows)) return std::string(dir);
    std::string path(dir);
    if (!rooted(path, windows)) {
        std::string cwd = fs.current_directory();
        path = path.empty() ? cwd : cwd + "/" + path;
    }
    std::string key;
    key.reserve(path.size());
    for (char c : path) {
        if (is_separator(c, windows)) c = '/';
        if (windows && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        // A share's two leading separators stay.
        if (!(c == '/' && key.size() > 1 && key.back() == '/')) key.push_back(c);
    }
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    return key;
}

// Where the last component of a path starts: after its last separator.
size_t last_separator(std::string_view path, bool windows) {
    return windows ? path.find_last_of("/\\") : path.rfind('/');
}

// The directory part of a path up to its last separator; the root keeps its separator ("/",
// "C:/").
std::string_view parent_part(std::string_view path, size_t slash, bool windows) {
    if (slash == 0) return path.substr(0, 1);
    if (windows && slash == 2 && path[1] == ':') return path.substr(0, 3);
    return path.substr(0, slash);
}

// Names compare as the system compares them: without case on Windows.
std::string_view name_key(std::string_view name, std::string& folded, bool fold_case) {
    if (!fold_case) return name;
    folded.assign(name);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

}  // namespace

uint64_t DirCache::next_serial() {
    static std::atomic<uint64_t> serial{0};
    return ++serial;
}

const Listing& DirCache::list(std::string_view dir) {
    const Listing& listing = listing_of(dir);
    if (listing.outside) refuse(std::string(dir));
    return listing;
}

const Listing& DirCache::listing_of(std::string_view dir) {
    // Most questions in a row are about one directory: each thread remembers the last answer
    // (for an absolute directory, which names the same directory wherever the process stands).
    thread_local uint64_t last_cache = 0;
    struct LastDir {};
    std::string& last_dir = thread_slot<std::string, LastDir>();
    thread_local const Listing* last_listing = nullptr;
    if (last_cache == serial_ && last_dir == dir) return *last_listing;
    const Listing& listing = lookup(dir);
    if (!rooted(dir, windows_)) return listing;
    last_cache = serial_;
    last_dir.assign(dir);
    last_listing = &listing;
    return listing;
}

const Listing& DirCache::lookup(std::string_view dir) {
    std::string key = directory_key(dir, fs_, windows_);
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
        slot->listing = confined_listing(std::string(dir));
    });
    return *slot->listing;
}

void DirCache::confine(std::shared_ptr<const Confinement> confinement) {
    confinement_ = std::move(confinement);
}

std::vector<std::string> DirCache::refused() const {
    std::lock_guard lock(refused_mutex_);
    return refused_;
}

void DirCache::refuse(const std::string& path) {
    std::lock_guard lock(refused_mutex_);
    if (refused_seen_.insert(path).second) refused_.push_back(path);
}

// A directory is listed only when it lies below a root, its links followed; an entry that is a
// link out of the roots is as a link that leads nowhere.
std::unique_ptr<const Listing> DirCache::confined_listing(const std::string& dir) {
    if (!confinement_) return read_directory(fs_, dir);
    std::optional<std::string> real = fs_.real_path(dir);
    if (real && !confinement_->admits_real(*real)) {
        auto listing = std::make_unique<Listing>();
        listing->error = os::ListError::NotFound;
        listing->outside = true;
        return listing;
    }
    std::unique_ptr<Listing> listing = read_directory(fs_, dir);
    for (DirEntry& entry : listing->entries) {
        if (!entry.is_link || entry.kind == DirEntry::Broken) continue;
        std::string path = dir.empty() ? std::string(entry.name)
                                       : dir + (is_separator(dir.back(), windows_) ? "" : "/") +
                                             std::string(entry.name);
        std::optional<std::string> target = fs_.real_path(path);
        if (target && confinement_->admits_real(*target)) continue;
        entry.kind = DirEntry::Broken;
        refuse(path);
    }
    return listing;
}

DirEntry::Kind DirCache::kind_of(const std::string& path, bool* found) {
    *found = false;
    size_t slash = last_separator(path, windows_);
    std::string_view parent =
        slash == std::string::npos ? std::string_view() : parent_part(path, slash, windows_);
    std::string_view name =
        std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
    if (!name.empty() && name != "." && name != "..") {
        const Listing& listing = listing_of(parent);
        if (listing.outside) {
            refuse(path);
            return DirEntry::Broken;
        }
        if (listing.ok) {
            if (const DirEntry* entry = listing.find(name)) {
                *found = true;
                return entry->kind;
            }
            return DirEntry::Broken;
        }
        // A parent that does not exist, or is no directory, has nothing below it.
        if (listing.error == os::ListError::NotFound ||
            listing.error == os::ListError::NotDirectory)
            return DirEntry::Broken;
    }
    // Names the listing cannot answer for ("", ".", ".." and unreadable parents).
    if (!fs_.exists_itself(path)) return DirEntry::Broken;
    if (confinement_) {
        std::optional<std::string> real = fs_.real_path(path);
        if (!real || !confinement_->admits_real(*real)) {
            refuse(path);
            return DirEntry::Broken;
        }
    }
    *found = true;
    return kind_from(fs_.stat(path).kind);
}

void Listing::index_entries() {
    size_t size = 8;
    while (size < 2 * entries.size()) size *= 2;
    slots_.assign(size, 0);
    std::string folded;
    for (size_t i = 0; i < entries.size(); ++i) {
        size_t at = std::hash<std::string_view>{}(name_key(entries[i].name, folded, fold_case)) &
                    (size - 1);
        while (slots_[at] != 0) at = (at + 1) & (size - 1);
        slots_[at] = static_cast<uint32_t>(i + 1);
    }
}

size_t Listing::position_of(std::string_view name) const {
    if (slots_.empty()) return npos;
    const size_t mask = slots_.size() - 1;
    std::string folded, other;
    std::string_view key = name_key(name, folded, fold_case);
    for (size_t at = std::hash<std::string_view>{}(key)&mask; slots_[at] != 0;
         at = (at + 1) & mask) {
        size_t i = slots_[at] - 1;
        if (fold_case ? name_key(entries[i].name, other, true) == key : entries[i].name == name)
            return i;
    }
    return npos;
}

FileFacts Listing::facts_of(size_t i, const std::string& path, const FileSystem& fs) const {
    std::call_once(facts_made_, [&] {
        facts_ = std::make_unique<FileFacts[]>(entries.size());
        stated_ = std::make_unique<std::atomic<bool>[]>(entries.size());
    });
    if (stated_[i].load(std::memory_order_acquire)) return facts_[i];
    // Two threads may state the same file at once; they write the same facts.
    FileFacts read = facts_from(fs.stat(path));
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
    if (confinement_) {  // nothing is stated outside the roots
        bool found = false;
        if (kind_of(path, &found) == DirEntry::Broken) return FileFacts{};
    }
    size_t slash = last_separator(path, windows_);
    if (slash != std::string::npos && slash + 1 < path.size()) {
        const Listing& listing = list(parent_part(path, slash, windows_));
        size_t i = listing.ok ? listing.position_of(std::string_view(path).substr(slash + 1))
                              : Listing::npos;
        if (i != Listing::npos) return listing.facts_of(i, path, fs_);
    }
    return facts_from(fs_.stat(path));
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
