#include "drivers/run_span.h"

namespace scanflow {

RunSpan::RunSpan(const Services& services, std::shared_ptr<const Confinement> confinement)
    : listings_(services.open_listings ? services.open_listings() : std::make_shared<DirCache>()),
      usd_(services.usd) {
    listings_->confine(confinement);
    if (usd_) {
        usd_->confine(std::move(confinement));
        usd_->begin_run();
    }
}

RunSpan::~RunSpan() {
    if (usd_) usd_->end_run();
}

}  // namespace scanflow
