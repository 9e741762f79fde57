// Text helpers shared by every layer: replacing, case, affixes, stripping, digit runs, and the
// interpreter's quoted form of a text or byte string.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace scanflow {

std::string replace_all(std::string_view text, std::string_view from, std::string_view to);
// Only the first occurrence of `from`; the text unchanged when there is none.
std::string replace_first(std::string_view text, std::string_view from, std::string_view to);
std::string slashes_forward(std::string_view path);
std::string ascii_lower(std::string_view text);
std::string ascii_upper(std::string_view text);
bool starts_with(std::string_view text, std::string_view prefix);
bool ends_with(std::string_view text, std::string_view suffix);
bool ends_with_any(std::string_view text, std::initializer_list<const char*> suffixes);
// `text` without the characters of `chars` at either end.
std::string strip(std::string_view text, std::string_view chars);
// The interpreter's str.strip() with no argument.
std::string strip_blanks(std::string_view text);
// Number of characters of UTF-8 text (bytes that are not UTF-8 count one each).
size_t char_count(std::string_view text);
// The runs of decimal digits, in order: "a12b003" gives 12 and 003.
std::vector<std::string> digit_runs(std::string_view text);
// Which texts were met already. The texts are viewed, not copied (they must stay where they
// are), in an open-addressed table: one allocation for many texts, where a set of nodes makes
// one per text.
class SeenTexts {
public:
    explicit SeenTexts(size_t expected = 0);
    // True when `text` is met for the first time.
    bool insert(std::string_view text);

private:
    void grow();
    std::vector<std::string_view> slots_;  // a view without data is a free slot
    size_t count_ = 0;
};

// The items without repeats, each where it first occurs.
std::vector<std::string> distinct(const std::vector<std::string>& items);
// The same, in place.
void keep_first_occurrences(std::vector<std::string>& items);
// Keeps, in order, the items whose flag in `keep` is set; the others are dropped in place.
template <class T, class Flags>
void keep_flagged(std::vector<T>& items, const Flags& keep) {
    size_t kept = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        if (!keep[i]) continue;
        if (kept != i) items[kept] = std::move(items[i]);
        ++kept;
    }
    items.resize(kept);
}

// How the interpreter quotes a string in repr(): as text ('a\n') or as bytes (b'\xff'), with
// the double quote chosen when the value holds a single quote and no double quote.
enum class Quoted { Text, Bytes };
std::string python_quoted(std::string_view value, Quoted kind);

}  // namespace scanflow
