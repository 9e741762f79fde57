// Distributed simulations: one record per simulation node, with the slicing tips.
#pragma once

#include "host/host.h"
#include "run/tips.h"
#include "util/json.h"

namespace scanflow {

// `distributedsim_node` with one record appended per simulation node whose output driver
// exists and can run; raises the missing-driver, missing-control, slice-type and slice-count
// tips in `tips`.
Json get_distributedsim_node_setting(Json distributedsim_node, Host& host, Tips& tips);

}  // namespace scanflow
