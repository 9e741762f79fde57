// The USD facade over the interpreter's `pxr` modules.
#pragma once

#include <memory>

#include "usd/facade.h"

namespace scanflow::py_bridge {

// How stages are walked. Derive: the walk of a stage that is an earlier walked stage without
// its root layer is derived from that walk, a stage without arcs is read from its layers, and a
// prim is given the record of a prim of another stage with the same specs where nothing else
// decides it. Full: every stage is walked in full, every prim asked of the library. Verify: as
// Derive, and each walk made so is checked against a full walk (an error when they differ).
enum class WalkMode { Derive, Full, Verify };

// A facade over `pxr.Usd`, or null when the interpreter has no such module. The library itself
// is imported at the facade's first use.
std::shared_ptr<UsdFacade> make_pxr_facade(WalkMode mode);

// Has the library run its work on the walking thread alone, from its import on. For a process
// of our own: there the library's thread pool only competes with the walks for the cores (its
// threads wait busily between the small tasks of the walks' stages). A host's process keeps the
// pool as the host set it. Does nothing to another facade.
void keep_library_on_one_thread(UsdFacade* usd);

}  // namespace scanflow::py_bridge
