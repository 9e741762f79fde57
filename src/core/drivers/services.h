// What the module hands to every analysis: its state, the scene host and the outside libraries.
#pragma once

#include <functional>
#include <memory>

#include "host/host.h"
#include "nested/ass_reader.h"
#include "output/run_summary.h"
#include "run/module_state.h"
#include "usd/facade.h"
#include "util/environment.h"
#include "util/fs_cache.h"

namespace scanflow {

struct Services {
    ModuleState& module;
    Host& host;
    // The variables of the machine the analysis runs on (the drive map, the host's
    // installation, the executable search path, layer search paths).
    Environment environment;
    UsdFacade* usd = nullptr;           // null when the USD library is absent
    ArnoldReader arnold;                // empty: our own reader of Arnold scene files
    std::function<bool()> gpu_modules;  // the interpreter's GPU probes; may be empty
    // The listing cache an operation starts with (a host script may hold one open across
    // several); empty: a fresh cache per outermost operation.
    std::function<std::shared_ptr<DirCache>()> open_listings;
    // Where the driver that writes the asset record leaves what it says of the files, for the
    // summary the command line tells; may be null.
    FileSummary* file_summary = nullptr;
};

}  // namespace scanflow
