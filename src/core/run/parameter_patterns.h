// What the scan found: each file parameter's path or pattern, in the order the parameters were
// first read.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

namespace scanflow {

struct ParameterPattern {
    std::string parm;     // the parameter's path
    std::string pattern;  // as the analysis reads it: host-expanded, frames as $F
};

class ParameterPatterns {
public:
    ParameterPatterns() = default;
    // A copy indexes its own entries; a move keeps them where they are.
    ParameterPatterns(const ParameterPatterns& other) : entries_(other.entries_) { index(); }
    ParameterPatterns& operator=(const ParameterPatterns& other) {
        if (this != &other) {
            entries_ = other.entries_;
            index();
        }
        return *this;
    }
    ParameterPatterns(ParameterPatterns&&) = default;
    ParameterPatterns& operator=(ParameterPatterns&&) = default;

    // A parameter read again keeps its place and takes the later pattern.
    void record(const std::string& parm, std::string pattern);
    const std::deque<ParameterPattern>& entries() const { return entries_; }
    bool empty() const { return entries_.empty(); }
    // Room for `more` parameters: a scene's million are indexed without growing the index.
    void reserve_more(size_t more) { at_.reserve(entries_.size() + more); }
    void clear();

private:
    void index();
    // A deque: an entry never moves, so the index keys are views of the entries' own paths.
    std::deque<ParameterPattern> entries_;
    std::unordered_map<std::string_view, size_t> at_;
};

}  // namespace scanflow
