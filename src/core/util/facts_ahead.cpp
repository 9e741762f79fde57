#include "util/facts_ahead.h"

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace scanflow {

namespace {

// On Linux a thread has a priority of its own; elsewhere it keeps the process's.
void lowest_priority_for_this_thread() {
#ifdef __linux__
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 19);
#endif
}

}  // namespace

FactsAhead::FactsAhead(DirCache& listings, std::vector<const Paths*> lists,
                       std::function<bool(const std::string&)> wanted)
    : lists_(std::move(lists)), wanted_(std::move(wanted)) {
    if (!lists_.empty()) thread_ = std::thread([this, &listings] { run(listings); });
}

FactsAhead::~FactsAhead() {
    stop();
}

void FactsAhead::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
}

void FactsAhead::run(DirCache& listings) {
    lowest_priority_for_this_thread();
    for (const Paths* paths : lists_) {
        for (const auto& path : *paths) {
            if (stopping_) return;
            if (!wanted_(path) || !listings.isfile(path)) continue;
            listings.facts(path);
            ++stated_;
        }
    }
}

}  // namespace scanflow
