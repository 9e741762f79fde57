#include "run/scene_records.h"

namespace scanflow {

void RenderSettingsByName::set(const std::string& name, RenderSetting setting) {
    auto [at, added] = index_.try_emplace(name, entries_.size());
    if (added) {
        entries_.emplace_back(name, std::move(setting));
    } else {
        entries_[at->second].second = std::move(setting);
    }
}

}  // namespace scanflow
