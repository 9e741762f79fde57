// The walk over every node and parameter of the loaded scene that finds file references.
#pragma once

#include <string>

namespace scanflow {

// Collects every file parameter of the loaded scene into the module's collections, with the
// USD variant selections, Arnold texture search paths, the instance flag and the problem nodes.
void analysis_assetsChecking();

// The output pattern of a distributed simulation from its outputs at frames 1 and 2: the runs
// of digits that differ become "*" (/c/sim.0001.bgeo, /c/sim.0002.bgeo give /c/sim.*.bgeo).
std::string frame_pattern(const std::string& first, const std::string& second);

// Whether an evaluated parameter value names a file: an absolute path whose last component has
// a stem and an extension. Returns the cleaned path through `cleaned`.
bool is_file_reference(const std::string& value, std::string* cleaned);

}  // namespace scanflow
