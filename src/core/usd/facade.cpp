#include "usd/facade.h"

#include "base/errors.h"

namespace scanflow {

UsdFacade& require_usd(UsdFacade* facade) {
    if (facade == nullptr)
        throw Error("no Usd: the USD library (pxr) is not available", "ImportError");
    return *facade;
}

}  // namespace scanflow
