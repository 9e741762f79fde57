// Converted copies of textures (".rat", ".tx") that are uploaded with them, searched on a pool.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_map>
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
// results as check_tx_exists with the same installation directory and protected paths; what it
// has not reached when left is searched with the other paths.
class CounterpartsAhead {
public:
    using Paths = TextList;
    CounterpartsAhead() = default;  // searches nothing
    // The lists stay as they are until the results are taken.
    CounterpartsAhead(std::vector<const Paths*> lists, const std::string& env_hh_path,
                      std::vector<std::string> protect_path, Flavour f);

    bool empty() const { return states_.empty(); }
    // Searches the paths in order, on the caller's thread, until done or `leave` is set.
    void search(DirCache& listings, const std::atomic<bool>& leave);
    enum class Taken { Unsearched, Alone, Result };
    // Once the search has returned: what it found for the `index`-th path of the lists, `path`
    // (as the caller holds it). Most paths have neither counterparts nor protection: their
    // result is the path alone, whose form in a result goes to `alone`; the others' results go
    // to `result`. Each index is taken once; several threads may take indices at once.
    Taken take(size_t index, const std::string& path, std::string& alone, TxResult& result);
    // Lets go of what is left, once the results are taken.
    void let_go();
    // The counterparts the search found, for their facts to be stated ahead too. Complete once
    // the search has returned; the caller's thread does not touch them, and they are kept past
    // let_go().
    const Paths& found() const { return found_; }

private:
    std::vector<const Paths*> lists_;
    std::string hh_;
    std::vector<std::string> protect_path_;
    Flavour f_;
    // Most paths have no counterpart and are not protected: their result is the path alone,
    // made again when taken, so that only the others are held.
    enum State : uint8_t { Unsearched, Alone, Held };
    std::vector<State> states_;
    std::unordered_map<size_t, TxResult> held_;
    Paths found_;
};

// check_tx_exists over every absolute path, on at most `max_workers` threads; the results in the
// order of the paths. `protect_path` is lower-cased once, before any task runs. The paths from
// `ahead_from` on are those of `ahead`, in its order; what it searched is taken from it.
TxResult find_tx_counterparts_parallel(const std::vector<std::string>& paths,
                                       const std::string& env_hh_path,
                                       std::vector<std::string>& protect_path, int max_workers,
                                       DirCache& listings, Flavour f,
                                       CounterpartsAhead* ahead = nullptr, size_t ahead_from = 0);

}  // namespace scanflow
