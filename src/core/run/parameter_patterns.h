// What the scan found: each file parameter's path or pattern, in the order the parameters were
// first read.
#pragma once

#include <string>
#include <unordered_map>
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
    const std::vector<ParameterPattern>& entries() const { return entries_; }
    bool empty() const { return entries_.empty(); }
    void clear();

private:
    std::vector<ParameterPattern> entries_;
    std::unordered_map<std::string, size_t> at_;
};

}  // namespace scanflow
