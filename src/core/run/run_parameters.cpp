#include "run/run_parameters.h"

#include "util/json.h"

namespace scanflow {

const RunParameters::Member* RunParameters::find(const std::string& name) const {
    for (const auto& member : members_)
        if (member.name == name) return &member;
    return nullptr;
}

void RunParameters::set(const std::string& name, const std::string& text) {
    for (auto& member : members_)
        if (member.name == name) {
            member = Member{name, text, true};
            return;
        }
    members_.push_back(Member{name, text, true});
}

std::string RunParameters::text(const std::string& name) const {
    const Member* member = find(name);
    if (!member) return "";
    if (member->is_text) return member->value;
    Json value = Json::parse(member->value);
    return value.is_null() ? "" : value_text(value);
}

}  // namespace scanflow
