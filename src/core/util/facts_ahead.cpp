#include "util/facts_ahead.h"

#include "base/os.h"

namespace scanflow {

FactsAhead::FactsAhead(DirCache& listings, std::vector<const Paths*> lists,
                       std::function<bool(const std::string&)> wanted, First first)
    : lists_(std::move(lists)), wanted_(std::move(wanted)), first_(std::move(first)) {
    if (!lists_.empty() || first_) thread_ = std::thread([this, &listings] { run(listings); });
}

FactsAhead::~FactsAhead() {
    stop();
}

void FactsAhead::stop() {
    stopping_ = true;
    leave_first_ = true;
    if (thread_.joinable()) thread_.join();
}

void FactsAhead::end_first() {
    leave_first_ = true;
    if (!thread_.joinable()) return;
    std::unique_lock lock(first_mutex_);
    first_ended_.wait(lock, [this] { return first_done_; });
}

void FactsAhead::run(DirCache& listings) {
    os::lower_this_thread_priority();
    // A failure leaves the rest of the first work undone: the analysis does it in its turn,
    // and reports the failure there.
    bool state_lists = true;
    try {
        if (first_) state_lists = first_(leave_first_);
    } catch (...) {
    }
    {
        std::lock_guard lock(first_mutex_);
        first_done_ = true;
    }
    first_ended_.notify_all();
    if (!state_lists) return;
    for (const Paths* paths : lists_) {
        for (std::string_view text : *paths) {
            if (stopping_) return;
            std::string path(text);
            if (!wanted_(path) || !listings.isfile(path)) continue;
            listings.facts(path);
            ++stated_;
        }
    }
}

}  // namespace scanflow
