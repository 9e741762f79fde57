// What lives as long as one operation a caller starts: the listing cache, in which each
// directory is listed once, and the USD library's run, in which each layer is admitted once.
// The operation a caller starts owns one and hands its parts down; nothing it calls starts
// another.
#pragma once

#include <memory>

#include "drivers/services.h"
#include "util/confinement.h"
#include "util/fs_cache.h"

namespace scanflow {

class RunSpan {
public:
    // The listing cache is the one a host script holds open, else a fresh one; both are
    // confined as the run is.
    RunSpan(const Services& services, std::shared_ptr<const Confinement> confinement);
    ~RunSpan();
    RunSpan(const RunSpan&) = delete;
    RunSpan& operator=(const RunSpan&) = delete;

    DirCache& listings() const { return *listings_; }

private:
    std::shared_ptr<DirCache> listings_;
    UsdFacade* usd_;
};

}  // namespace scanflow
