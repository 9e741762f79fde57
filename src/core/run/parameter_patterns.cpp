#include "run/parameter_patterns.h"

#include <functional>

namespace scanflow {

void ParameterPatterns::record(const std::string& parm, std::string pattern) {
    grow_to(entries_.size() + 1);
    const size_t slot = slot_of(parm);
    if (slots_[slot] != 0) {
        entries_[slots_[slot] - 1].pattern = std::move(pattern);
        return;
    }
    entries_.push_back({parm, std::move(pattern)});
    slots_[slot] = static_cast<uint32_t>(entries_.size());
}

size_t ParameterPatterns::slot_of(std::string_view parm) const {
    const size_t mask = slots_.size() - 1;
    const size_t hash = std::hash<std::string_view>{}(parm);
    size_t at = hash & mask;
    while (slots_[at] != 0 && entries_[slots_[at] - 1].parm != parm) at = (at + 1) & mask;
    return at;
}

void ParameterPatterns::grow_to(size_t count) {
    if (count * 2 <= slots_.size()) return;
    size_t size = 16;
    while (size < count * 2) size *= 2;
    slots_.assign(size, 0);
    for (size_t i = 0; i < entries_.size(); ++i)
        slots_[slot_of(entries_[i].parm)] = static_cast<uint32_t>(i + 1);
}

void ParameterPatterns::clear() {
    entries_.clear();
    slots_.clear();
}

}  // namespace scanflow
