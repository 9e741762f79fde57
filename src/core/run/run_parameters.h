// The run parameters: the command line's options, or the dictionary a host script gives a
// driver.
#pragma once

#include <string>
#include <vector>

namespace scanflow {

// Each member is kept as it was given, so that a host script reads back what it gave: a text as
// its bytes, any other value as its JSON text. The analysis reads members as text.
class RunParameters {
public:
    struct Member {
        std::string name;
        std::string value;  // the text, or the JSON text of a value that is not one
        bool is_text = true;
    };

    RunParameters() = default;
    explicit RunParameters(std::vector<Member> members) : members_(std::move(members)) {}
    // A text member, in the place of one of the same name.
    void set(const std::string& name, const std::string& text);
    bool has(const std::string& name) const { return find(name) != nullptr; }
    // The member as text: a text as it is, any other value as its JSON text; "" when it is
    // absent or null.
    std::string text(const std::string& name) const;
    const Member* find(const std::string& name) const;
    const std::vector<Member>& members() const { return members_; }

private:
    std::vector<Member> members_;
};

}  // namespace scanflow
