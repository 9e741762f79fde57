// A streamed file's bytes as an input iterator, for the JSON library's reader: the library's own
// reader of an open file asks for each byte on its own, and it cannot read through gzip or Blosc.
#pragma once

#include <cstddef>
#include <iterator>

namespace scanflow {

// Over any source with `int get()` that gives -1 at the end (StreamReader, ScReader).
template <typename Source>
class StreamIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;
    StreamIterator() = default;
    explicit StreamIterator(Source* in) : in_(in) { load(); }
    const char& operator*() const { return current_; }
    StreamIterator& operator++() {
        load();
        return *this;
    }
    bool operator==(const StreamIterator& other) const { return at_end() == other.at_end(); }
    bool operator!=(const StreamIterator& other) const { return !(*this == other); }

private:
    void load() {
        int c = in_ ? in_->get() : -1;
        if (c == -1) {
            in_ = nullptr;
        } else {
            current_ = static_cast<char>(c);
        }
    }
    bool at_end() const { return in_ == nullptr; }
    Source* in_ = nullptr;
    char current_ = 0;
};

}  // namespace scanflow
