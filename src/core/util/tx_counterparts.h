// Converted copies of textures (".rat", ".tx") that are uploaded with them, searched on a pool.
#pragma once

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "base/text_list.h"
#include "util/flavour.h"
#include "util/fs_cache.h"

namespace scanflow {

using TxResult = std::pair<std::vector<std::string>, std::vector<std::string>>;

// (counterparts found, ending with the texture itself; the texture when it is protected).
// `protect_path` is lower-cased in place: the caller keeps other threads away from it.
TxResult check_tx_exists(const std::string& path, const std::string& env_hh_path,
                         std::vector<std::string>& protect_path, DirCache& listings, Flavour f);

// The counterparts of paths known early (the parameters' files), searched on a thread that
// would otherwise wait, while the analysis reads its nested files. The search gives the same
// results as check_tx_exists with the same installation directory and protected paths, put
// together in the paths' order as the search goes; what it has not reached when left is
// searched with the other paths.
class CounterpartsAhead {
public:
    using Paths = TextList;
    CounterpartsAhead() = default;  // searches nothing
    // The lists stay as they are until the search has returned.
    CounterpartsAhead(std::vector<const Paths*> lists, const std::string& env_hh_path,
                      std::vector<std::string> protect_path, Flavour f);

    bool empty() const { return count_ == 0; }
    // Searches the paths in order, on the caller's thread, until done or `leave` is set.
    void search(DirCache& listings, const std::atomic<bool>& leave);
    // Once the search has returned: how many of the lists' paths it searched, from the first,
    // and whether that is all of them.
    size_t searched() const { return searched_; }
    bool searched_all() const { return searched_ == count_; }
    // Once the search has returned: the results of the paths it searched, in their order (the
    // relative paths, never asked for, left out). Taken once; another step may take over the
    // paths first, on the search's thread.
    std::vector<std::string>& result_paths() { return results_.first; }
    TxResult take() { return std::move(results_); }
    // The counterparts the search found, for their facts to be stated ahead too. Complete once
    // the search has returned; the caller's thread does not touch them, and they are kept past
    // take().
    const Paths& found() const { return found_; }

private:
    std::vector<const Paths*> lists_;
    std::string hh_;
    std::vector<std::string> protect_path_;
    Flavour f_;
    size_t count_ = 0;
    size_t searched_ = 0;
    TxResult results_;
    Paths found_;
};

// check_tx_exists over every absolute path, on at most `max_workers` threads; the results in the
// order of the paths. `protect_path` is lower-cased once, before any task runs. What `ahead`
// searched is taken from it and stands before `paths[ahead_at]`: the paths from there on are
// those of its lists it did not reach.
TxResult find_tx_counterparts_parallel(const std::vector<std::string>& paths,
                                       const std::string& env_hh_path,
                                       std::vector<std::string>& protect_path, int max_workers,
                                       DirCache& listings, Flavour f,
                                       CounterpartsAhead* ahead = nullptr, size_t ahead_at = 0);

}  // namespace scanflow
