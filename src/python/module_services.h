// What the extension module owns for the whole process and hands to every analysis: the module
// state, the scene host, the USD facade, the Arnold binding and the GPU probes; and the listing
// cache that host scripts open with `scanflow.listing_cache()`.
#pragma once

#include <memory>

#include <pybind11/pybind11.h>

#include "drivers/services.h"
#include "util/fs_cache.h"

namespace scanflow::py_bridge {

// Probes the interpreter and the environment once, when the module loads: interpreter version,
// platform, Arnold, USD, the geometry JSON reader, the scene host.
void set_up_module(pybind11::module_& m);

Services& module_services();
ModuleState& module_state();

// The listing cache for a module function or an analysis called by a host script: the one a
// `listing_cache()` block keeps open, else a fresh one for the call.
std::shared_ptr<DirCache> script_listings();
// The cache a `listing_cache()` block holds: the one an enclosing block holds, else a new one.
// It is let go of when the last block holding it ends.
std::shared_ptr<DirCache> hold_script_listings();
// Directories the open block's cache has read (0 without a block).
size_t script_listing_reads();

}  // namespace scanflow::py_bridge
