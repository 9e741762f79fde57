// The USD facade over the interpreter's `pxr` modules.
#pragma once

#include <memory>

#include "usd/facade.h"

namespace scanflow::py_bridge {

// How stages are walked. Derive: the walk of a stage that is an earlier walked stage without
// its root layer is derived from that walk. Full: every stage is walked in full. Verify: as
// Derive, and each derived walk is checked against a full walk (an error when they differ).
enum class WalkMode { Derive, Full, Verify };

// A facade over `pxr.Usd`, or null when the interpreter has no such module. The library itself
// is imported at the facade's first use.
std::shared_ptr<UsdFacade> make_pxr_facade(WalkMode mode);

}  // namespace scanflow::py_bridge
