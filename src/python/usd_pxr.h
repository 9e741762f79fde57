// The USD facade over the interpreter's `pxr` modules.
#pragma once

#include <memory>

#include "usd/facade.h"

namespace scanflow::py_bridge {

// A facade over `pxr.Usd`, or null when the interpreter has no such module. The library itself
// is imported at the facade's first use.
std::shared_ptr<UsdFacade> make_pxr_facade();

}  // namespace scanflow::py_bridge
