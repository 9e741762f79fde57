// What the scan does to a node before its parameters are examined, by the node's type: USD
// variant selections, texture search paths, the instance flag, editable caches, distributed
// simulation outputs; and which nodes are not examined at all.
#pragma once

#include <string>

#include "scan/scan_inputs.h"

namespace scanflow {

// Applies the node's preparations; false when its parameters are not examined.
bool prepare_node(Node& node, ScanInputs& in);

// The output pattern of a distributed simulation from its outputs at frames 1 and 2: the runs
// of digits that differ become "*" (/c/sim.0001.bgeo, /c/sim.0002.bgeo give /c/sim.*.bgeo).
std::string frame_pattern(const std::string& first, const std::string& second);

}  // namespace scanflow
