#include "usd/facade.h"

#include "entry/errors.h"

namespace scanflow {

namespace {
std::shared_ptr<UsdFacade>& current() {
    static std::shared_ptr<UsdFacade> facade;
    return facade;
}
}  // namespace

UsdFacade& usd() {
    if (!current()) throw Error("no Usd: the USD library (pxr) is not available", "ImportError");
    return *current();
}

void set_usd(std::shared_ptr<UsdFacade> facade) {
    current() = std::move(facade);
}

}  // namespace scanflow
