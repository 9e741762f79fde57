// Texture counterparts and protected paths of the upload candidates.
#pragma once

#include <string>
#include <vector>

#include "output/parameter_files.h"
#include "output/upload_lists.h"
#include "run/module_state.h"
#include "util/tx_counterparts.h"

namespace scanflow {

// What may be uploaded: the files found in nested files (each once), then every parameter's
// files but the first `searched` of them, whose counterparts were searched ahead; and where the
// parameters' files begin.
struct UploadCandidates {
    std::vector<std::string> paths;
    size_t parameters_at = 0;
};
UploadCandidates upload_candidates(const UploadLists& nested, const ParameterFiles& parameters,
                                   size_t searched = 0);

// The host installation directory (HH); an error when it is not set.
std::string host_installation_dir(const Environment& env);
// The final assembly cannot run without HH: a run checks it before its analysis, so that it
// fails at once and not after the whole scene has been read.
void require_host_installation_dir(const Environment& env);

// The search ahead of the parameters' files' counterparts, against the module's protected
// prefixes as they are now and the installation directory `hh`.
CounterpartsAhead counterparts_ahead_of(const ParameterFiles& parameters, const std::string& hh,
                                        ModuleState& module, Flavour f);

// find_tx_counterparts_parallel over the candidates on at most 10 workers (and no more than the
// module's pool size), against the module's
// protected prefixes (which end up lower-cased, written under the module's guard). What
// `ahead` searched stands before the candidates' first parameter file.
TxResult counterparts_of(const std::vector<std::string>& candidates, const std::string& hh,
                         ModuleState& module, DirCache& listings, Flavour f,
                         CounterpartsAhead* ahead = nullptr, size_t ahead_at = 0);

}  // namespace scanflow
