#include "util/paths.h"

#include <algorithm>

#include "base/budgets.h"
#include "base/errors.h"
#include "base/os.h"
#include "base/people.h"
#include "base/text.h"
#include "base/timed.h"
#include "util/fs_cache.h"

namespace scanflow {

std::string os_path(std::string_view path, Flavour f) {
    // The Windows system takes either separator; elsewhere a Windows-shaped path is read with "/".
    if (os::kWindows) return std::string(path);
    return f.windows ? slashes_forward(path) : std::string(path);
}

std::string unc_path(std::string_view file_path) {
    if (char_count(file_path) <= 250) return std::string(file_path);
    std::string path = replace_all(file_path, "/", "\\");
    if (starts_with(path, "\\\\")) return "\\\\?\\unc\\" + path.substr(2);
    return "\\\\?\\" + path;
}

std::string convert_path(std::string_view file_path, Flavour f) {
    return timed(2, "convert_path",
                 [&] { return server_form(slashes_forward(normpath(file_path, f))); });
}

std::string server_form(std::string path) {
    if (path.find(":/") != std::string::npos) {
        std::string letter(1, path[0]);
        return replace_all(path, letter + ":", "/" + ascii_upper(letter));
    }
    if (starts_with(path, "//")) return path.substr(1);
    return path;
}

void list_lower(std::vector<std::string>& paths) {
    for (auto& p : paths) p = ascii_lower(p);
}

std::vector<std::string> get_files(const std::string& dir_path, DirCache& listings, Flavour f) {
    std::vector<std::string> out;
    // Top-down walk in listing order, without recursion: a stack of directories still to visit,
    // the next one on top.
    std::vector<std::string> todo{dir_path};
    while (!todo.empty()) {
        std::string dir = std::move(todo.back());
        todo.pop_back();
        const Listing& listing = listings.list(os_path(dir, f));
        if (!listing.ok) continue;
        std::vector<std::string> subdirs;
        for (const auto& entry : listing.entries) {
            std::string joined = join(dir, entry.name, f);
            if (entry.kind == DirEntry::Dir) {
                if (!entry.is_link) subdirs.push_back(joined);
                continue;
            }
            // On Windows a file is kept only when its (long) path names a regular file.
            if (f.windows && entry.kind != DirEntry::File) continue;
            out.push_back(slashes_forward(joined));
        }
        for (auto it = subdirs.rbegin(); it != subdirs.rend(); ++it) todo.push_back(*it);
    }
    return out;
}

// ---- wildcard matching ----

namespace {

// Code points of UTF-8 text; a byte that is not UTF-8 stands for itself as the interpreter's
// surrogate escapes do.
std::u32string code_points(std::string_view s) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool valid = len > 0 && i + len <= s.size();
        char32_t cp = len == 1 ? c : len ? (c & (0xFF >> (len + 1))) : 0;
        for (size_t k = 1; valid && k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(s[i + k]);
            valid = (cc & 0xC0) == 0x80;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!valid) {
            out.push_back(0xDC00 + c);
            i += 1;
        } else {
            out.push_back(cp);
            i += len;
        }
    }
    return out;
}

// Matches a [...] set starting at pattern[p] == '['. Returns false in `closed` when the set has
// no closing bracket (then '[' is an ordinary character). `Text` holds code points, or bytes
// when every character of name and pattern is ASCII.
template <typename Text, typename Char>
bool match_set(const Text& pat, size_t p, Char c, size_t* next, bool* closed) {
    size_t j = p + 1;
    if (j < pat.size() && pat[j] == '!') ++j;
    if (j < pat.size() && pat[j] == ']') ++j;
    while (j < pat.size() && pat[j] != ']') ++j;
    if (j >= pat.size()) {
        *closed = false;
        return false;
    }
    *closed = true;
    *next = j + 1;
    size_t i = p + 1;
    bool negate = false;
    if (pat[i] == '!') {
        negate = true;
        ++i;
    }
    bool hit = false;
    while (i < j) {
        Char lo = pat[i];
        if (i + 2 < j && pat[i + 1] == '-') {
            Char hi = pat[i + 2];
            if (lo <= c && c <= hi) hit = true;
            i += 3;
        } else {
            if (lo == c) hit = true;
            ++i;
        }
    }
    return hit != negate;
}

template <typename Text>
bool match_text(const Text& name, const Text& pat) {
    size_t n = 0, p = 0;
    size_t star_p = Text::npos, star_n = 0;
    while (n < name.size()) {
        if (p < pat.size()) {
            auto pc = pat[p];
            if (pc == '*') {
                star_p = p++;
                star_n = n;
                continue;
            }
            if (pc == '?') {
                ++p, ++n;
                continue;
            }
            if (pc == '[') {
                size_t next = 0;
                bool closed = false;
                bool hit = match_set(pat, p, name[n], &next, &closed);
                if (closed) {
                    if (hit) {
                        p = next, ++n;
                        continue;
                    }
                } else if (name[n] == '[') {
                    ++p, ++n;
                    continue;
                }
            } else if (pc == name[n]) {
                ++p, ++n;
                continue;
            }
        }
        if (star_p == Text::npos) return false;
        p = star_p + 1;
        n = ++star_n;
    }
    while (p < pat.size() && pat[p] == '*') ++p;
    return p == pat.size();
}

bool is_ascii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// A name against a pattern already in the flavour's case rule, byte by byte when both are ASCII
// (their bytes are their characters), else by code points.
bool name_matches(std::string_view name, std::string_view normcased_pattern, Flavour f) {
    if (is_ascii(name) && is_ascii(normcased_pattern)) {
        if (!f.windows) return match_text(name, normcased_pattern);
        std::string folded = normcase(name, f);
        return match_text(std::string_view(folded), normcased_pattern);
    }
    return match_text(code_points(normcase(name, f)), code_points(std::string(normcased_pattern)));
}

std::pair<std::string, std::string> split_path(std::string_view path, Flavour f) {
    auto [drive, p] = splitdrive(path, f);
    size_t i = p.size();
    while (i > 0 && !f.is_sep(p[i - 1])) --i;
    std::string head = p.substr(0, i);
    std::string tail = p.substr(i);
    size_t end = head.size();
    while (end > 0 && f.is_sep(head[end - 1])) --end;
    if (end > 0) head.resize(end);
    return {drive + head, tail};
}

bool is_hidden(std::string_view name) {
    return !name.empty() && name[0] == '.';
}

// The literal text before a pattern's first wildcard and after its last one, in the case rule
// of the flavour: a name that does not begin and end with them cannot match, which most names of
// a large directory are told by a comparison of a few bytes.
struct LiteralEnds {
    std::string head, tail;
    LiteralEnds(std::string_view normcased_pattern) {
        size_t first = normcased_pattern.find_first_of("*?[");
        size_t last = normcased_pattern.find_last_of("*?[]");
        head = std::string(normcased_pattern.substr(0, first));
        tail =
            last == std::string_view::npos ? "" : std::string(normcased_pattern.substr(last + 1));
    }
    bool admit(std::string_view name, Flavour f) const {
        if (name.size() < head.size() + tail.size()) return false;
        return same(name.substr(0, head.size()), head, f) &&
               same(name.substr(name.size() - tail.size()), tail, f);
    }
    static bool same(std::string_view name, std::string_view normcased, Flavour f) {
        if (!f.windows) return name == normcased;
        for (size_t i = 0; i < name.size(); ++i) {
            char c =
                name[i] >= 'A' && name[i] <= 'Z' ? static_cast<char>(name[i] - 'A' + 'a') : name[i];
            if (c != normcased[i]) return false;
        }
        return true;
    }
};

// What one wildcard path's expansion has spent; past a budget it ends (with an error naming the
// path, which the expansion turns into no match).
class GlobSpend {
public:
    explicit GlobSpend(const std::string& pattern) : pattern_(pattern) {}
    void listed() {
        if (++directories_ > budget::kGlobDirectories)
            refuse("lists more than " + std::to_string(budget::kGlobDirectories) + " directories");
    }
    void matched() {
        if (++matches_ > budget::kGlobMatches)
            refuse("matches more than " + std::to_string(budget::kGlobMatches) + " paths");
    }
    [[noreturn]] void refuse(const std::string& why) const {
        throw FileError(pattern_,
                        "the wildcard path " + head(pattern_) + " " + why + "; it is not expanded");
    }
    static std::string head(const std::string& pattern) {
        return pattern.size() <= 300 ? pattern
                                     : pattern.substr(0, 300) + "... (" +
                                           std::to_string(pattern.size()) + " characters)";
    }

private:
    const std::string& pattern_;
    size_t directories_ = 0, matches_ = 0;
};

std::vector<std::string> glob_in_dir(const std::string& dir, const std::string& pattern,
                                     bool dironly, DirCache& listings, Flavour f,
                                     GlobSpend& spend) {
    std::vector<std::string> out;
    spend.listed();
    const Listing& listing = listings.list(os_path(dir, f));
    if (!listing.ok) return out;
    std::string normcased = normcase(pattern, f);
    LiteralEnds ends(normcased);
    for (const auto& entry : listing.entries) {
        if (dironly && entry.kind != DirEntry::Dir) continue;
        if (!is_hidden(pattern) && is_hidden(entry.name)) continue;
        if (!ends.admit(entry.name, f)) continue;
        if (name_matches(entry.name, normcased, f)) {
            spend.matched();
            out.emplace_back(entry.name);
        }
    }
    return out;
}

std::vector<std::string> glob_literal(const std::string& dir, const std::string& name,
                                      DirCache& listings, Flavour f) {
    if (name.empty()) {
        if (listings.isdir(os_path(dir, f))) return {name};
        return {};
    }
    if (listings.lexists(os_path(join(dir, name, f), f))) return {name};
    return {};
}

std::vector<std::string> iglob(const std::string& pathname, bool dironly, DirCache& listings,
                               Flavour f, GlobSpend& spend) {
    auto [dir, base] = split_path(pathname, f);
    if (!has_magic(pathname)) {
        if (!base.empty()) {
            if (listings.lexists(os_path(pathname, f))) return {pathname};
        } else if (listings.isdir(os_path(dir, f))) {
            return {pathname};
        }
        return {};
    }
    if (dir.empty()) return glob_in_dir(dir, base, dironly, listings, f, spend);
    std::vector<std::string> dirs;
    if (dir != pathname && has_magic(dir)) {
        dirs = iglob(dir, true, listings, f, spend);
    } else {
        dirs = {dir};
    }
    std::vector<std::string> out;
    for (const auto& d : dirs) {
        auto names = has_magic(base) ? glob_in_dir(d, base, dironly, listings, f, spend)
                                     : glob_literal(d, base, listings, f);
        for (const auto& name : names) out.push_back(join(d, name, f));
    }
    return out;
}

}  // namespace

bool has_magic(std::string_view text) {
    return text.find_first_of("*?[") != std::string_view::npos;
}

bool fnmatch(std::string_view name, std::string_view pattern, Flavour f) {
    return name_matches(name, normcase(pattern, f), f);
}

namespace {

// Components that hold a wildcard: each is one level of the expansion.
size_t wildcard_components(std::string_view pattern, Flavour f) {
    size_t count = 0;
    bool magic = false;
    for (char c : pattern) {
        if (f.is_sep(c)) {
            count += magic ? 1 : 0;
            magic = false;
        } else if (c == '*' || c == '?' || c == '[') {
            magic = true;
        }
    }
    return count + (magic ? 1 : 0);
}

}  // namespace

std::vector<std::string> glob(const std::string& pattern, DirCache& listings, Flavour f) {
    GlobSpend spend(pattern);
    try {
        if (wildcard_components(pattern, f) > budget::kGlobDepth)
            spend.refuse("has more than " + std::to_string(budget::kGlobDepth) +
                         " components with wildcards");
        return iglob(pattern, false, listings, f, spend);
    } catch (const FileError& e) {
        // Text that no path could be (a block of code in a parameter, a crafted value) names
        // nothing: the analysis goes on, and the person running it is told.
        people::tell(std::string("scanflow: ") + e.what());
        return {};
    }
}

std::vector<std::string> glob_file(const std::string& pattern, DirCache& listings, Flavour f) {
    return timed(2, "glob_file", [&] {
        std::vector<std::string> found = glob(pattern, listings, f);
        auto [stem, ext] = splitext(pattern, f);
        if (ext == ".tex") {
            auto more = glob(stem + "png", listings, f);
            found.insert(found.end(), more.begin(), more.end());
        }
        for (auto& path : found) path = slashes_forward(path);
        return found;
    });
}

std::vector<std::string> checkCacheFile(const std::string& path, DirCache& listings, Flavour f) {
    return timed(2, "checkCacheFile", [&] {
        std::vector<std::string> found;
        size_t dot = path.rfind('.');
        std::string ext = dot == std::string::npos ? path : path.substr(dot + 1);
        if (ext.empty() || ext == "tx" || ext == "rstexbin") return found;
        for (const char* cache_ext : {"tx", "rstexbin"}) {
            std::string candidate = replace_all(path, ext, cache_ext);
            if (listings.exists(os_path(candidate, f))) found.push_back(candidate);
        }
        return found;
    });
}

}  // namespace scanflow
