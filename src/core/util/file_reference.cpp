#include "util/file_reference.h"

#include "base/text.h"
#include "util/paths.h"

namespace scanflow {

bool is_file_reference(const std::string& value, std::string* cleaned, Flavour f) {
    // Text of several lines (code, notes) names no file, whatever its first line looks like.
    if (value.empty() || value.find_first_of("\r\n") != std::string::npos) return false;
    std::string text = slashes_forward(value);
    if (text.find('/') == std::string::npos) return false;
    text = strip(text, "\"'");
    if (!fnmatch(text, "[A-Z]:/*", f) && !fnmatch(text, "//*", f) && !fnmatch(text, "/*", f))
        return false;
    std::string base = basename(text, f);
    auto [stem, ext] = splitext(base, f);
    if (base.empty() || stem.empty() || ext.empty()) return false;
    if (cleaned) *cleaned = text;
    return true;
}

}  // namespace scanflow
