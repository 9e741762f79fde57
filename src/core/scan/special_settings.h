// What the scan does to a parameter before it reads it, and the digital-asset library a node's
// type comes from.
#pragma once

#include <string>
#include <vector>

#include "host/host.h"

namespace scanflow {

// Unlocks the parameter and deletes its keyframes; a failure prints the parameter and the trace
// and raises the exit request 555.
void clear_special_setting(Parm& parm);

// Adds the library file of the node's type to `otls_assetpath`, once; a library embedded in the
// scene is reported and not added.
void get_otls(Node& node, std::vector<std::string>& otls_assetpath);

}  // namespace scanflow
