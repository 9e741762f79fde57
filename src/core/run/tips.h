// The tips a run raises for the submission client: each code with its messages, in the order
// the codes were first raised (the order tips.json lists them in).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/text_list.h"

namespace scanflow {

class Tips {
public:
    struct Entry {
        std::string code;
        TextList messages;
        // A host script may file any value under a code; one that is not a list of texts is
        // kept here as the JSON text it converts to, and written as it is.
        std::string script_value;
    };

    // The code's messages become `messages` (its place in the order is kept).
    void set(std::string_view code, const std::vector<std::string>& messages);
    void set(std::string_view code, TextList messages);
    // One more message, or several, after the code's others.
    void add(std::string_view code, std::string message);
    void extend(std::string_view code, const std::vector<std::string>& messages);
    // A script's value of another shape under `code`.
    void set_script_value(std::string_view code, std::string json_text);
    // Every entry of `later` over this one's, as a dictionary update does.
    void update(const Tips& later);

    bool contains(std::string_view code) const { return find(code) != nullptr; }
    // The code's messages; none for a code not raised.
    std::vector<std::string> messages(std::string_view code) const;
    const std::vector<Entry>& entries() const { return entries_; }
    bool empty() const { return entries_.empty(); }

private:
    const Entry* find(std::string_view code) const;
    Entry& entry(std::string_view code);
    std::vector<Entry> entries_;
};

}  // namespace scanflow
