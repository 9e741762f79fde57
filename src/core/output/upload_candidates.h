// Texture counterparts and protected paths of the upload candidates.
#pragma once

#include <string>
#include <vector>

#include "run/module_state.h"
#include "util/tx_counterparts.h"

namespace scanflow {

// The host installation directory (HH); an error when it is not set.
std::string host_installation_dir();

// find_tx_counterparts_parallel over the candidates on at most 10 workers, against the module's
// protected prefixes (which end up lower-cased, written under the module's guard).
TxResult counterparts_of(const std::vector<std::string>& candidates, const std::string& hh,
                         ModuleState& module, DirCache& listings, Flavour f);

}  // namespace scanflow
