// Data compressed with gzip or zlib, inflated in memory with the decompression-bomb limit every
// reader of compressed data keeps.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace scanflow {

// The inflated bytes; nothing, with the reason in `why`, when the data is corrupt or truncated
// or would inflate past the limit.
std::optional<std::string> inflate_data(std::string_view data, std::string* why);

}  // namespace scanflow
