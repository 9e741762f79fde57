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

FactsAhead::FactsAhead(DirCache& listings, std::vector<std::string> paths)
    : paths_(std::move(paths)) {
    if (!paths_.empty()) thread_ = std::thread([this, &listings] { run(listings); });
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
    for (const auto& path : paths_) {
        if (stopping_) return;
        if (!listings.isfile(path)) continue;
        listings.facts(path);
        ++stated_;
    }
}

}  // namespace scanflow
