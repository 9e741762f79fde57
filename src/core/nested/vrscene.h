// V-Ray scenes (.vrscene): the files named by the parameter lines that carry file names.
#pragma once

#include <string>
#include <vector>

#include "util/flavour.h"
#include "util/fs_cache.h"

namespace scanflow {

// In line and entry order, relative entries joined to the scene's directory; an image list
// (.ifl) contributes every listed image that exists, then itself. A scene or list that cannot
// be read, or a line that is not UTF-8, is an error naming the file.
std::vector<std::string> read_in_vrscene(const std::string& vrscene_path, DirCache& listings,
                                         Flavour f);

}  // namespace scanflow
