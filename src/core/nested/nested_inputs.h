// What the analysis of files inside files reads and records: the analysis's visited sets, the
// module's facts and collections, the outside readers, the host and the listings.
#pragma once

#include "host/host.h"
#include "nested/ass_reader.h"
#include "nested/read_ahead.h"
#include "run/module_state.h"
#include "run/run_context.h"
#include "usd/facade.h"
#include "usd/layers.h"
#include "usd/stage_refs.h"
#include "util/flavour.h"
#include "util/fs_cache.h"

namespace scanflow {

struct NestedInputs {
    RunContext& run;            // rs_asseted, all_ass, all_bgeo, all_bgeosc
    const ModuleState& module;  // IS_WIN, instance_flag, env_i, the USD variant selections
    UsdFacade* usd;             // null when the USD library is absent
    const ArnoldReader& arnold;
    Host& host;  // loads compressed caches as geometry
    const Environment& environment;
    DirCache& listings;
    Flavour flavour;
    ReadAhead* read_ahead = nullptr;  // files being read on the pool, when there is one

    // What the USD stage walk needs.
    StageInputs stage() const {
        return StageInputs{usd,
                           module.need_varian_usd,
                           module.texture_searchpaths,
                           layer_search_dirs(module.env_i, environment),
                           environment.confined(run.confinement),
                           listings,
                           flavour};
    }
};

}  // namespace scanflow
