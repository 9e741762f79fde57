// The layer files a USD layer names: its sublayers, references and payloads, recursively.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "usd/facade.h"
#include "util/environment.h"
#include "util/flavour.h"
#include "util/fs_cache.h"

namespace scanflow {

// The directories the variables `env_i` hold, in their order; unset ones are left out.
std::vector<std::string> layer_search_dirs(const std::vector<std::string>& env_i,
                                           const Environment& env);

// Adds `usd_path` and the external layers it names, recursively, to `allLayer`. A reference
// that does not exist beside the layer is taken from the last of `search_dirs`; a missing layer
// is listed but not opened, and each layer is opened once.
void get_refe_layer(const std::string& usd_path, std::set<std::string>& allLayer, UsdFacade& usd,
                    const std::vector<std::string>& search_dirs, DirCache& listings, Flavour f);

}  // namespace scanflow
