// Converted copies of textures (".rat", ".tx") that are uploaded with them, searched on a pool.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "util/flavour.h"
#include "util/fs_cache.h"

namespace scanflow {

using TxResult = std::pair<std::vector<std::string>, std::vector<std::string>>;

// (counterparts found, ending with the texture itself; the texture when it is protected).
// `protect_path` is lower-cased in place: the caller keeps other threads away from it.
TxResult check_tx_exists(const std::string& path, const std::string& env_hh_path,
                         std::vector<std::string>& protect_path, DirCache& listings, Flavour f);

// check_tx_exists over every absolute path, on at most `max_workers` threads; the results in the
// order of the paths. `protect_path` is lower-cased once, before any task runs.
TxResult find_tx_counterparts_parallel(const std::vector<std::string>& paths,
                                       const std::string& env_hh_path,
                                       std::vector<std::string>& protect_path, int max_workers,
                                       DirCache& listings, Flavour f);

}  // namespace scanflow
