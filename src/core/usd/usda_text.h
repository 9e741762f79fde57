// The asset paths written between "@" signs in a .usda text, read as plain text.
#pragma once

#include <string>
#include <vector>

#include "util/flavour.h"

namespace scanflow {

// Each path once, in order; relative ones joined to the file's directory.
std::vector<std::string> handle_usda_file(const std::string& usda_file, Flavour f);

// Why the USD library must not open a layer file, empty when it may: a file that is not a
// regular one (a FIFO blocks the open, a device never ends), or a text layer whose brackets nest
// deeper than the library's recursive parser can take. A missing file is the library's to
// report.
std::string layer_refusal(const std::string& path);
// The deepest nesting of brackets in a USD text, outside strings, asset paths and comments.
size_t usda_nesting(std::string_view text);

}  // namespace scanflow
