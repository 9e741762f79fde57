// The asset paths written between "@" signs in a .usda text, read as plain text.
#pragma once

#include <string>
#include <vector>

#include "util/flavour.h"

namespace scanflow {

// Each path once, in order; relative ones joined to the file's directory.
std::vector<std::string> handle_usda_file(const std::string& usda_file, Flavour f);

}  // namespace scanflow
