// Decoding of byte text (file contents, child-process output) into UTF-8 text, strictly, with
// the Chinese national encodings among those tried.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace scanflow {

// Converts `bytes` from encoding `from` to `to` with iconv, failing on any byte or character
// that the encodings cannot carry. nullopt on failure (an unknown encoding included).
std::optional<std::string> convert_strict(std::string_view bytes, const std::string& from,
                                          const std::string& to);

// Whether `bytes` are well-formed UTF-8.
bool is_utf8(std::string_view bytes);

// The encoding the host reports for file names ("utf-8" on every platform the module supports).
const std::string& filesystem_encoding();

// The first of utf-8, the file-system encoding, gb18030, ascii, gbk, gb2312 that decodes.
std::optional<std::string> get_encode(std::string_view bytes);

// The file-system encoding, then GB18030, then UTF-8; failing all, the printable literal form.
std::string bety_out_decode(std::string_view bytes);

// Text encoded into `encoding` ("system", "utf-8", "gbk", or an encoding name as given);
// nullopt with a description in `error` when that fails.
std::optional<std::string> encode_text(std::string_view text, const std::string& encoding,
                                       std::string* error);

// The level-1 text conversion of the module: prints the two error lines on failure. Its
// wrapper drops the result.
void unicode_to_str(std::string_view text, const std::string& str_encode = "system");

}  // namespace scanflow
