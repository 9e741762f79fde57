// Text helpers shared by every layer: replacing, case, affixes, stripping, digit runs, and the
// interpreter's quoted form of a text or byte string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/text_list.h"

namespace scanflow {

// The size replace_all's result would have, without building it.
size_t replaced_size(std::string_view text, std::string_view from, std::string_view to);
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
// Which of a list's texts were met already, by their positions: `text_at(i)` is the text at
// position i, and stays what it is while the table is used. The table holds positions, four bytes
// each, in open addressing: one allocation for the list, where a set of nodes makes one per text
// and holds a copy or a view of each.
template <class TextAt>
class SeenPositions {
public:
    SeenPositions(size_t expected, TextAt text_at) : text_at_(std::move(text_at)) {
        size_t size = 16;
        while (size < 2 * expected) size *= 2;
        slots_.assign(size, 0);
    }
    // True when the text at position `i` is met for the first time.
    bool insert(size_t i) {
        std::string_view text = text_at_(i);
        size_t at = slot_of(text);
        for (; slots_[at] != 0; at = (at + 1) & (slots_.size() - 1))
            if (text_at_(slots_[at] - 1) == text) return false;
        slots_[at] = static_cast<uint32_t>(i + 1);
        if (2 * ++count_ > slots_.size()) grow();
        return true;
    }

private:
    size_t slot_of(std::string_view text) const {
        return std::hash<std::string_view>{}(text) & (slots_.size() - 1);
    }
    void grow() {
        std::vector<uint32_t> old(2 * slots_.size(), 0);
        old.swap(slots_);
        for (uint32_t position : old) {
            if (position == 0) continue;
            size_t at = slot_of(text_at_(position - 1));
            while (slots_[at] != 0) at = (at + 1) & (slots_.size() - 1);
            slots_[at] = position;
        }
    }
    TextAt text_at_;
    std::vector<uint32_t> slots_;  // positions plus one; 0 is a free slot
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
// The interpreter's repr() of a list of texts: "['a', 'b']".
std::string texts_repr(const std::vector<std::string>& items);
// The same after `out`'s text (a scene-wide list is not copied again to be printed).
void append_texts_repr(std::string& out, const std::vector<std::string>& items);
void append_texts_repr(std::string& out, const TextList& items);

}  // namespace scanflow
