#include "output/upload_candidates.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "base/errors.h"
#include "base/os.h"
#include "base/text.h"

namespace scanflow {

UploadCandidates upload_candidates(const UploadLists& nested, const ParameterFiles& parameters,
                                   size_t searched) {
    UploadCandidates out{distinct(nested.present)};
    std::vector<std::string>& candidates = out.paths;
    out.parameters_at = candidates.size();
    size_t files = 0;
    for (const auto& parameter : parameters.convert_node) files += parameter.files.size();
    candidates.reserve(candidates.size() + files - std::min(files, searched));
    size_t skip = searched;
    for (const auto& parameter : parameters.convert_node) {
        for (std::string_view file : parameter.files) {
            if (skip > 0) {
                --skip;
                continue;
            }
            candidates.emplace_back(file);
        }
    }
    return out;
}

std::string host_installation_dir(const Environment& env) {
    std::optional<std::string> hh = env.get("HH");
    if (!hh) throw Error("'HH': the host installation directory is not set", "KeyError");
    return *hh;
}

void require_host_installation_dir(const Environment& env) {
    (void)host_installation_dir(env);
}

namespace {

std::vector<std::string> protected_prefixes(ModuleState& module) {
    std::lock_guard lock(module.protect_path_mutex);
    return module.protect_path;
}

}  // namespace

CounterpartsAhead counterparts_ahead_of(const ParameterFiles& parameters, const std::string& hh,
                                        ModuleState& module, Flavour f) {
    return CounterpartsAhead(file_lists(parameters), hh, protected_prefixes(module), f);
}

TxResult counterparts_of(const std::vector<std::string>& candidates, const std::string& hh,
                         ModuleState& module, DirCache& listings, Flavour f,
                         CounterpartsAhead* ahead, size_t ahead_at) {
    std::vector<std::string> prefixes = protected_prefixes(module);
    int workers = static_cast<int>(std::min(10u, module.threads));
    TxResult found = find_tx_counterparts_parallel(candidates, hh, prefixes, workers, listings, f,
                                                   ahead, ahead_at);
    std::lock_guard lock(module.protect_path_mutex);
    module.protect_path = prefixes;
    return found;
}

}  // namespace scanflow
