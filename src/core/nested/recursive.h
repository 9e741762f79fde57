// The recursive analysis of files named inside files: each reader by the file's ending,
// relative names joined to the file's directory, textures and volumes widened to their
// families, scene files descended into, each once per run.
#pragma once

#include <string>
#include <vector>

#include "nested/nested_inputs.h"

namespace scanflow {

// Whether a file named again is listed again. Deep stages name every layer below them at every
// level, so a chain of n layers names n²/2 files; a caller that keeps each file once need not
// have them.
enum class Repeats { Listed, FilesOnce };

// The dependencies found under `ass_path`, depth first (duplicates possible unless only the
// first naming of each existing file is asked for). A second call for the same file in the same
// run finds nothing.
std::vector<std::string> ass_usd_usda_asset(const std::string& ass_path, const NestedInputs& in,
                                            Repeats repeats = Repeats::Listed);

// Has the pool read an Arnold scene file ahead of the analysis (when our own reader reads it).
void read_ass_ahead(const std::string& path, const NestedInputs& in);

}  // namespace scanflow
