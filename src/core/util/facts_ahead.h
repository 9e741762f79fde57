// Files' facts stated ahead of their use, on a thread of the lowest priority: it runs on a core
// the analysis leaves idle (while the USD library loads and its stages are walked, while one
// thread writes a result file) and gives way whenever the analysis wants both. The facts go into
// the run's cache, so each file is still stated once.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/text_list.h"
#include "util/fs_cache.h"

namespace scanflow {

class FactsAhead {
public:
    using Paths = TextList;
    // Work wanted sooner than the facts, run first on the same thread until it is done or
    // `leave` is set: one thread, and one heap, for everything done ahead. It returns whether the
    // lists are still to be stated: it may have stated what they hold itself.
    using First = std::function<bool(const std::atomic<bool>& leave)>;
    // Starts stating, list by list and in order, the paths `wanted` accepts and the listings know
    // as files (after `first`). `wanted` accepts a path only in the form its facts will be asked
    // for later, or the cache keeps them apart. The lists are not copied: they stay as they are
    // until stop().
    FactsAhead(DirCache& listings, std::vector<const Paths*> lists,
               std::function<bool(const std::string&)> wanted, First first = {});
    ~FactsAhead();  // stop()
    FactsAhead(const FactsAhead&) = delete;
    FactsAhead& operator=(const FactsAhead&) = delete;

    // Stops after the file being stated and waits for the thread. Called before the facts are
    // asked for side by side, so that no file is stated twice at once.
    void stop();
    // Ends the first work after the step it is on and waits until it has returned; what it made
    // is then the caller's. The stating goes on.
    void end_first();
    // Files stated so far.
    size_t stated() const { return stated_; }

private:
    void run(DirCache& listings);

    std::vector<const Paths*> lists_;
    std::function<bool(const std::string&)> wanted_;
    First first_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> leave_first_{false};
    std::mutex first_mutex_;
    std::condition_variable first_ended_;
    bool first_done_ = false;
    std::atomic<size_t> stated_{0};
    std::thread thread_;
};

}  // namespace scanflow
