// JSON records: insertion-ordered, written as the submission client reads them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

namespace scanflow {

using Json = nlohmann::ordered_json;

enum class Unencodable { Fail, Drop };

// Four-blank indentation, one member per line, non-ASCII characters as they are. Invalid UTF-8
// either fails or is dropped.
std::string dump_json(const Json& value, Unencodable policy = Unencodable::Fail);

// How deep arrays and objects nest in JSON text (brackets inside strings do not count).
size_t json_nesting_depth(std::string_view text);

// Where each key of a large object stands, so that setting a member is not a search of the whole
// object (its own operator[] compares every key: setting n members costs n squared). Follows
// the object it was last used with; a change made to the object elsewhere that alters its size
// makes it read the object again.
class MemberIndex {
public:
    // object[key], appended at the end when the object does not hold the key.
    Json& member(Json& object, const std::string& key);

private:
    void rebuild(const Json::object_t& members);
    const Json::object_t* of_ = nullptr;
    std::unordered_map<std::string, size_t> at_;
};

// Integers of a JSON text beyond 64 bits, which the parser would read as floating point, kept
// as they were written: each stands in the parsed document as a string that no text of the
// document holds, and is written back as its digits.
class LargeIntegers {
public:
    // The text with each such integer replaced by its stand-in.
    std::string hide(std::string_view text);
    // The written text with each stand-in (in quotes) replaced by its digits.
    std::string restore(std::string written) const;

private:
    std::string stand_in(size_t index) const;
    std::string marker_;
    std::vector<std::string> digits_;
};

// Reads and parses a UTF-8 JSON file; failures are FileErrors naming the path, and so is a
// nesting deeper than the budget allows. With `large`, integers beyond 64 bits are kept there.
Json read_json_file(const std::string& path, LargeIntegers* large = nullptr);

// Writes `text` to `path` whole or not at all: a temporary file in the same directory, renamed
// over the target.
void write_file_atomic(const std::string& path, const std::string& text);

// The text form a record value has when printed or joined: strings as they are, other values
// as JSON text.
std::string value_text(const Json& value);

// The interpreter's repr() of a record: {'a': ['b', 1]}, True, None.
std::string py_repr(const Json& value);

}  // namespace scanflow
