// The layer files a USD layer names: its sublayers, references and payloads, recursively.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "usd/facade.h"
#include "util/flavour.h"
#include "util/fs_cache.h"

namespace scanflow {

// Adds `usd_path` and the external layers it names, recursively, to `allLayer`. A reference
// that does not exist beside the layer is looked up in the directories of the environment
// variables `env_i`; a missing layer is listed but not opened, and each layer is opened once.
void get_refe_layer(const std::string& usd_path, std::set<std::string>& allLayer, UsdFacade& usd,
                    const std::vector<std::string>& env_i, DirCache& listings, Flavour f);

}  // namespace scanflow
