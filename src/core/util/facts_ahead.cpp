#include "util/facts_ahead.h"

#include "base/os.h"

namespace scanflow {

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
    os::lower_this_thread_priority();
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
