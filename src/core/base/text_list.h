// A list of texts kept end to end in one buffer: a million short texts (the patterns a scan read,
// the lines of a tip) are two allocations, not a million.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace scanflow {

class TextList {
public:
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;

        const_iterator() = default;
        const_iterator(const TextList* list, size_t at) : list_(list), at_(at) {}
        std::string_view operator*() const { return (*list_)[at_]; }
        const_iterator& operator++() {
            ++at_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++at_;
            return before;
        }
        bool operator==(const const_iterator& other) const { return at_ == other.at_; }
        bool operator!=(const const_iterator& other) const { return at_ != other.at_; }

    private:
        const TextList* list_ = nullptr;
        size_t at_ = 0;
    };

    TextList() = default;
    explicit TextList(const std::vector<std::string>& texts);

    void push_back(std::string_view text) {
        chars_.append(text);
        ends_.push_back(chars_.size());
    }
    std::string_view operator[](size_t i) const {
        const size_t start = i == 0 ? 0 : ends_[i - 1];
        return std::string_view(chars_).substr(start, ends_[i] - start);
    }
    size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }
    void clear() {
        chars_.clear();
        ends_.clear();
    }
    // Room for `count` texts of `chars` characters in all.
    void reserve(size_t count, size_t chars = 0) {
        ends_.reserve(count);
        chars_.reserve(chars);
    }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, ends_.size()}; }
    std::vector<std::string> strings() const;
    bool operator==(const TextList& other) const = default;

private:
    std::string chars_;
    std::vector<size_t> ends_;  // where each text ends in `chars_`
};

}  // namespace scanflow
