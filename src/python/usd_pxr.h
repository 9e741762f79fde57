// The USD facade over the interpreter's `pxr` modules.
#pragma once

#include <memory>

#include "usd/facade.h"

namespace scanflow::py_bridge {

// A facade over `pxr.Usd`, or null when it does not import.
std::shared_ptr<UsdFacade> make_pxr_facade();

}  // namespace scanflow::py_bridge
