// Distributed simulations: one record per simulation node, with the slicing tips.
#pragma once

#include <vector>

#include "host/host.h"
#include "run/scene_records.h"
#include "run/tips.h"

namespace scanflow {

// One record per simulation node whose output driver exists and can run; raises the
// missing-driver, missing-control, slice-type and slice-count tips in `tips`.
std::vector<SimulationRecord> get_distributedsim_node_setting(Host& host, Tips& tips);

}  // namespace scanflow
