// What the scan found: each file parameter's path or pattern, in the order the parameters were
// first read.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace scanflow {

struct ParameterPattern {
    std::string parm;     // the parameter's path
    std::string pattern;  // as the analysis reads it: host-expanded, frames as $F
};

class ParameterPatterns {
public:
    // A parameter read again keeps its place and takes the later pattern.
    void record(const std::string& parm, std::string pattern);
    const std::deque<ParameterPattern>& entries() const { return entries_; }
    bool empty() const { return entries_.empty(); }
    // Room for `more` parameters: a scene's million are indexed without growing the index.
    void reserve_more(size_t more) { grow_to(entries_.size() + more); }
    void clear();

private:
    // The slot of the parameter's entry, or the free slot where it would go.
    size_t slot_of(std::string_view parm) const;
    // An index with room for `count` entries.
    void grow_to(size_t count);
    std::deque<ParameterPattern> entries_;
    // Where each parameter's entry is: its number plus one (0: a free slot), open-addressed and
    // at most half full, so that a million parameters are indexed in 8 MB, not in a million
    // allocations; the numbers hold in a copy as they do here.
    std::vector<uint32_t> slots_;
};

}  // namespace scanflow
