// Whether a parameter or attribute value names a file.
#pragma once

#include <string>

#include "util/flavour.h"

namespace scanflow {

// An absolute path (drive letter, network share or rooted) of one line whose last component has
// a stem and an extension, after back slashes became "/" and surrounding quotes went. Returns the
// cleaned path through `cleaned` when it is one.
bool is_file_reference(const std::string& value, std::string* cleaned, Flavour f);

}  // namespace scanflow
