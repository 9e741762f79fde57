#include "output/upload_candidates.h"

#include <cstdlib>
#include <mutex>

#include "base/errors.h"

namespace scanflow {

std::string host_installation_dir() {
    const char* hh = std::getenv("HH");
    if (hh == nullptr) throw Error("'HH': the host installation directory is not set", "KeyError");
    return hh;
}

TxResult counterparts_of(const std::vector<std::string>& candidates, const std::string& hh,
                         ModuleState& module, DirCache& listings, Flavour f) {
    std::vector<std::string> prefixes;
    {
        std::lock_guard lock(module.protect_path_mutex);
        prefixes = module.protect_path;
    }
    TxResult found = find_tx_counterparts_parallel(candidates, hh, prefixes, 10, listings, f);
    std::lock_guard lock(module.protect_path_mutex);
    module.protect_path = prefixes;
    return found;
}

}  // namespace scanflow
