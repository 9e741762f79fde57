// JSON records: insertion-ordered, written as the submission client reads them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace scanflow {

using Json = nlohmann::ordered_json;

enum class Unencodable { Fail, Drop };

// Four-blank indentation, one member per line, non-ASCII characters as they are. Invalid UTF-8
// either fails or is dropped.
std::string dump_json(const Json& value, Unencodable policy = Unencodable::Fail);

// How deep arrays and objects nest in JSON text (brackets inside strings do not count).
size_t json_nesting_depth(std::string_view text);

// Reads and parses a UTF-8 JSON file; failures are FileErrors naming the path, and so is a
// nesting deeper than the budget allows.
Json read_json_file(const std::string& path);

// Writes `text` to `path` whole or not at all: a temporary file in the same directory, renamed
// over the target.
void write_file_atomic(const std::string& path, const std::string& text);

// The text form a record value has when printed or joined: strings as they are, other values
// as JSON text.
std::string value_text(const Json& value);

// The interpreter's repr() of a record: {'a': ['b', 1]}, True, None.
std::string py_repr(const Json& value);

}  // namespace scanflow
