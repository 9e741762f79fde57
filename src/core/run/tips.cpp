#include "run/tips.h"

#include <algorithm>

namespace scanflow {

const Tips::Entry* Tips::find(std::string_view code) const {
    auto at = std::find_if(entries_.begin(), entries_.end(),
                           [&](const Entry& e) { return e.code == code; });
    return at == entries_.end() ? nullptr : &*at;
}

Tips::Entry& Tips::entry(std::string_view code) {
    auto at = std::find_if(entries_.begin(), entries_.end(),
                           [&](const Entry& e) { return e.code == code; });
    if (at != entries_.end()) return *at;
    entries_.push_back(Entry{std::string(code), {}, {}});
    return entries_.back();
}

void Tips::set(std::string_view code, const std::vector<std::string>& messages) {
    set(code, TextList(messages));
}

void Tips::set(std::string_view code, TextList messages) {
    Entry& e = entry(code);
    e.messages = std::move(messages);
    e.script_value.clear();
}

void Tips::add(std::string_view code, std::string message) {
    Entry& e = entry(code);
    e.script_value.clear();
    e.messages.push_back(message);
}

void Tips::extend(std::string_view code, const std::vector<std::string>& messages) {
    Entry& e = entry(code);
    e.script_value.clear();
    for (const auto& message : messages) e.messages.push_back(message);
}

void Tips::set_script_value(std::string_view code, std::string json_text) {
    Entry& e = entry(code);
    e.messages.clear();
    e.script_value = std::move(json_text);
}

void Tips::update(const Tips& later) {
    for (const Entry& e : later.entries_) entry(e.code) = e;
}

std::vector<std::string> Tips::messages(std::string_view code) const {
    const Entry* e = find(code);
    return e ? e->messages.strings() : std::vector<std::string>{};
}

}  // namespace scanflow
