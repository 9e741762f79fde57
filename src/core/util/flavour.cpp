#include "util/flavour.h"

#include <vector>

#include "base/os.h"
#include "base/text.h"

namespace scanflow {

std::pair<std::string, std::string> splitdrive(std::string_view p, Flavour f) {
    if (!f.windows || p.size() < 2) return {"", std::string(p)};
    std::string normp = replace_all(p, "/", "\\");
    if (normp.compare(0, 2, "\\\\") == 0 && (normp.size() < 3 || normp[2] != '\\')) {
        size_t index = normp.find('\\', 2);
        if (index == std::string::npos) return {"", std::string(p)};
        size_t index2 = normp.find('\\', index + 1);
        if (index2 == index + 1) return {"", std::string(p)};
        if (index2 == std::string::npos) index2 = p.size();
        return {std::string(p.substr(0, index2)), std::string(p.substr(index2))};
    }
    if (normp[1] == ':') return {std::string(p.substr(0, 2)), std::string(p.substr(2))};
    return {"", std::string(p)};
}

namespace {

std::vector<std::string> split(std::string_view text, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t hit = text.find(sep, start);
        if (hit == std::string_view::npos) {
            parts.emplace_back(text.substr(start));
            return parts;
        }
        parts.emplace_back(text.substr(start, hit - start));
        start = hit + 1;
    }
}

std::string join_parts(const std::vector<std::string>& parts, char sep) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out.push_back(sep);
        out += parts[i];
    }
    return out;
}

// Whether a rooted path is already in normal form: no empty, "." or ".." component.
bool normal_posix(std::string_view path) {
    if (path.size() < 2 || path[0] != '/' || path.back() == '/') return false;
    size_t start = 1;
    while (start <= path.size()) {
        size_t hit = path.find('/', start);
        if (hit == std::string_view::npos) hit = path.size();
        std::string_view comp = path.substr(start, hit - start);
        if (comp.empty() || comp == "." || comp == "..") return false;
        start = hit + 1;
    }
    return true;
}

std::string normpath_posix(std::string_view path) {
    if (path.empty()) return ".";
    if (normal_posix(path)) return std::string(path);
    int initial = path[0] == '/' ? 1 : 0;
    if (initial && path.size() >= 2 && path[1] == '/' && (path.size() < 3 || path[2] != '/'))
        initial = 2;
    // Components as views into `path`: this runs once per uploaded file.
    std::vector<std::string_view> comps;
    size_t start = 0;
    while (start <= path.size()) {
        size_t hit = path.find('/', start);
        if (hit == std::string_view::npos) hit = path.size();
        std::string_view comp = path.substr(start, hit - start);
        start = hit + 1;
        if (comp.empty() || comp == ".") continue;
        if (comp != ".." || (!initial && comps.empty()) ||
            (!comps.empty() && comps.back() == "..")) {
            comps.push_back(comp);
        } else if (!comps.empty()) {
            comps.pop_back();
        }
    }
    std::string out(static_cast<size_t>(initial), '/');
    for (size_t i = 0; i < comps.size(); ++i) {
        if (i) out.push_back('/');
        out.append(comps[i]);
    }
    return out.empty() ? "." : out;
}

std::string normpath_windows(std::string_view input) {
    if (starts_with(input, "\\\\.\\") || starts_with(input, "\\\\?\\")) return std::string(input);
    std::string path = replace_all(input, "/", "\\");
    auto [prefix, rest] = splitdrive(path, Flavour{true});
    if (!rest.empty() && rest[0] == '\\') {
        prefix += '\\';
        size_t first = rest.find_first_not_of('\\');
        rest = first == std::string::npos ? "" : rest.substr(first);
    }
    std::vector<std::string> comps = split(rest, '\\');
    size_t i = 0;
    while (i < comps.size()) {
        if (comps[i].empty() || comps[i] == ".") {
            comps.erase(comps.begin() + static_cast<long>(i));
        } else if (comps[i] == "..") {
            if (i > 0 && comps[i - 1] != "..") {
                comps.erase(comps.begin() + static_cast<long>(i) - 1,
                            comps.begin() + static_cast<long>(i) + 1);
                --i;
            } else if (i == 0 && ends_with(prefix, "\\")) {
                comps.erase(comps.begin());
            } else {
                ++i;
            }
        } else {
            ++i;
        }
    }
    if (prefix.empty() && comps.empty()) comps.emplace_back(".");
    return prefix + join_parts(comps, '\\');
}

size_t last_sep(std::string_view p, Flavour f) {
    size_t i = p.size();
    while (i > 0 && !f.is_sep(p[i - 1])) --i;
    return i;  // index just past the last separator, 0 when none
}

}  // namespace

std::string normpath(std::string_view path, Flavour f) {
    return f.windows ? normpath_windows(path) : normpath_posix(path);
}

std::pair<std::string, std::string> splitext(std::string_view p, Flavour f) {
    size_t sep_index = last_sep(p, f);  // start of the last component
    size_t dot = p.rfind('.');
    if (dot != std::string_view::npos && dot >= sep_index) {
        for (size_t i = sep_index; i < dot; ++i)
            if (p[i] != '.') return {std::string(p.substr(0, dot)), std::string(p.substr(dot))};
    }
    return {std::string(p), ""};
}

std::string dirname(std::string_view path, Flavour f) {
    auto [drive, p] = splitdrive(path, f);
    size_t i = last_sep(p, f);
    std::string head = p.substr(0, i);
    size_t end = head.size();
    while (end > 0 && f.is_sep(head[end - 1])) --end;
    if (end > 0) head.resize(end);
    return drive + head;
}

std::string basename(std::string_view path, Flavour f) {
    auto [drive, p] = splitdrive(path, f);
    return p.substr(last_sep(p, f));
}

bool isabs(std::string_view path, Flavour f) {
    if (!f.windows) return !path.empty() && path[0] == '/';
    size_t drive = splitdrive(path, f).first.size();
    return path.size() > drive && f.is_sep(path[drive]);
}

Flavour native_flavour() {
    return Flavour{os::kWindows};
}

std::string absolute(std::string_view path, std::string_view cwd, Flavour f) {
    if (path.empty() || isabs(path, f)) return std::string(path);
    return normpath(join(cwd, path, f), f);
}

std::string join(std::string_view head, std::string_view tail, Flavour f) {
    if (!f.windows) {
        if (!tail.empty() && tail[0] == '/') return std::string(tail);
        if (head.empty() || head.back() == '/') return std::string(head) + std::string(tail);
        return std::string(head) + "/" + std::string(tail);
    }
    auto [tail_drive, tail_rest] = splitdrive(tail, f);
    if (!tail_drive.empty() || (!tail_rest.empty() && f.is_sep(tail_rest[0])))
        return std::string(tail);
    std::string out(head);
    auto [head_drive, head_rest] = splitdrive(head, f);
    if (!head_rest.empty() && !f.is_sep(head_rest.back())) {
        out.push_back('\\');
    } else if (head_rest.empty() && !head_drive.empty() && head_drive.back() != ':') {
        out.push_back('\\');  // a UNC drive needs a separator before the name
    }
    return out + std::string(tail);
}

std::string normcase(std::string_view path, Flavour f) {
    if (!f.windows) return std::string(path);
    return replace_all(ascii_lower(path), "/", "\\");
}

}  // namespace scanflow
