#include "run/parameter_patterns.h"

namespace scanflow {

void ParameterPatterns::record(const std::string& parm, std::string pattern) {
    auto at = at_.find(parm);
    if (at != at_.end()) {
        entries_[at->second].pattern = std::move(pattern);
        return;
    }
    entries_.push_back({parm, std::move(pattern)});
    at_.emplace(entries_.back().parm, entries_.size() - 1);
}

void ParameterPatterns::index() {
    at_.clear();
    at_.reserve(entries_.size());
    for (size_t i = 0; i < entries_.size(); ++i) at_.emplace(entries_[i].parm, i);
}

void ParameterPatterns::clear() {
    entries_.clear();
    at_.clear();
}

}  // namespace scanflow
