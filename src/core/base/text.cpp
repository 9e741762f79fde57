#include "base/text.h"

#include <cstdio>

namespace scanflow {

size_t replaced_size(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty()) return text.size();
    size_t hits = 0;
    for (size_t pos = text.find(from); pos != std::string_view::npos;
         pos = text.find(from, pos + from.size()))
        ++hits;
    return text.size() - hits * from.size() + hits * to.size();
}

std::string replace_all(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(text);
    std::string out;
    size_t pos = 0;
    while (true) {
        size_t hit = text.find(from, pos);
        if (hit == std::string_view::npos) break;
        out.append(text.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    out.append(text.substr(pos));
    return out;
}

std::string replace_first(std::string_view text, std::string_view from, std::string_view to) {
    size_t at = text.find(from);
    if (at == std::string_view::npos || from.empty()) return std::string(text);
    std::string out(text.substr(0, at));
    out.append(to);
    out.append(text.substr(at + from.size()));
    return out;
}

std::string slashes_forward(std::string_view path) {
    std::string out(path);
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string ascii_upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool ends_with(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool ends_with_any(std::string_view text, std::initializer_list<const char*> suffixes) {
    for (const char* suffix : suffixes)
        if (ends_with(text, suffix)) return true;
    return false;
}

std::string strip(std::string_view text, std::string_view chars) {
    size_t b = text.find_first_not_of(chars);
    if (b == std::string_view::npos) return "";
    size_t e = text.find_last_not_of(chars);
    return std::string(text.substr(b, e - b + 1));
}

std::string strip_blanks(std::string_view text) {
    return strip(text, " \t\n\r\v\f");
}

size_t char_count(std::string_view text) {
    size_t count = 0;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        bool valid = i + len <= text.size();
        for (size_t k = 1; valid && k < len; ++k)
            valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        i += valid ? len : 1;
        ++count;
    }
    return count;
}

std::vector<std::string> digit_runs(std::string_view text) {
    std::vector<std::string> runs;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] < '0' || text[i] > '9') {
            ++i;
            continue;
        }
        size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        runs.emplace_back(text.substr(start, i - start));
    }
    return runs;
}

std::vector<std::string> distinct(const std::vector<std::string>& items) {
    std::vector<std::string> out;
    SeenPositions seen(items.size(), [&](size_t i) -> std::string_view { return items[i]; });
    for (size_t i = 0; i < items.size(); ++i)
        if (seen.insert(i)) out.push_back(items[i]);
    return out;
}

void keep_first_occurrences(std::vector<std::string>& items) {
    std::vector<bool> keep(items.size());
    {
        SeenPositions seen(items.size(), [&](size_t i) -> std::string_view { return items[i]; });
        for (size_t i = 0; i < items.size(); ++i) keep[i] = seen.insert(i);
    }
    keep_flagged(items, keep);
}

std::string texts_repr(const std::vector<std::string>& items) {
    std::string out;
    append_texts_repr(out, items);
    return out;
}

namespace {

template <class Texts>
void append_repr(std::string& out, const Texts& items) {
    out += "[";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) out += ", ";
        out += python_quoted(items[i], Quoted::Text);
    }
    out += "]";
}

}  // namespace

void append_texts_repr(std::string& out, const std::vector<std::string>& items) {
    append_repr(out, items);
}

void append_texts_repr(std::string& out, const TextList& items) {
    append_repr(out, items);
}

std::string python_quoted(std::string_view value, Quoted kind) {
    bool has_single = value.find('\'') != std::string_view::npos;
    bool has_double = value.find('"') != std::string_view::npos;
    char quote = has_single && !has_double ? '"' : '\'';
    std::string out = kind == Quoted::Bytes ? "b" : "";
    out.push_back(quote);
    for (unsigned char c : value) {
        if (c == static_cast<unsigned char>(quote) || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f || (kind == Quoted::Bytes && c > 0x7f)) {
            // Text keeps its non-ASCII characters; bytes show every byte outside ASCII.
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    out.push_back(quote);
    return out;
}

}  // namespace scanflow
