// The walk over every node and parameter of the loaded scene that finds file references.
#pragma once

#include "scan/scan_inputs.h"

namespace scanflow {

// Collects every file parameter of the loaded scene into the module's collections, with the
// USD variant selections, Arnold texture search paths, the instance flag and the problem nodes.
void analysis_assetsChecking(ScanInputs& in);

}  // namespace scanflow
