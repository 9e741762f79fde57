#include "run/parameter_patterns.h"

namespace scanflow {

void ParameterPatterns::record(const std::string& parm, std::string pattern) {
    auto [at, added] = at_.try_emplace(parm, entries_.size());
    if (added)
        entries_.push_back({parm, std::move(pattern)});
    else
        entries_[at->second].pattern = std::move(pattern);
}

void ParameterPatterns::clear() {
    entries_.clear();
    at_.clear();
}

}  // namespace scanflow
