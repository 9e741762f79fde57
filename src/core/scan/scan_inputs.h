// What the parameter scan reads and writes besides the scene.
#pragma once

#include <functional>

#include "host/host.h"
#include "run/module_state.h"
#include "usd/facade.h"
#include "util/flavour.h"

namespace scanflow {

struct ScanInputs {
    Host& host;
    ModuleState& module;  // the collections the scan fills
    UsdFacade* usd;       // reads the variant selections of stage-manager layers; may be null
    std::function<bool()> has_gpu;  // asked before a stage-manager node's stage is cooked
    Flavour flavour;
};

}  // namespace scanflow
