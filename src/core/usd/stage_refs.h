// The files a USD layer depends on: external layers, sublayers, value clips, references and
// payloads of every prim spec, and file paths held by attributes.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "run/recorded_variants.h"
#include "usd/facade.h"
#include "usd/layers.h"
#include "util/environment.h"
#include "util/flavour.h"
#include "util/fs_cache.h"

namespace scanflow {

// What the stage walk reads besides the stage itself.
struct StageInputs {
    UsdFacade* usd;  // null when the USD library is absent: the walk fails with "no Usd"
    const RecordedVariants& need_varian_usd;  // selections the scan recorded, per layer file
    const std::set<std::string>& texture_searchpaths;
    std::vector<std::string>
        layer_search_dirs;  // where a layer not beside its referrer is looked for
    // The variables a path's first component may name (under a confinement, the allowed ones).
    Environment variables;
    DirCache& listings;
    Flavour flavour;
};

// What one walk of nested files keeps from stage to stage, for one set of inputs: what each
// layer names, and the files each prim's attributes stand for. A deep stage holds the layers and
// prims of the stages below it.
struct StageMemo {
    LayerLinks layers;
    struct PrimFiles {
        std::shared_ptr<const UsdPrim> prim;  // keeps the key's prim alive
        std::vector<std::string> files;
    };
    std::unordered_map<const UsdPrim*, PrimFiles> prim_files;
    // Once the kept files have doubled since the last look, those of prims that no walk holds
    // any more go: the memo keeps no stage's prims alive by itself.
    void let_go_of_unheld();
    size_t next_look = 1024;
};

// Every file the layer depends on, "/" separators, sorted. The recorded variant selections are
// applied while walking, so the selected variants' files are the ones found. With `memo`, what
// each layer names and each prim's attribute files are kept there for the next stage.
std::vector<std::string> get_stage_references(const std::string& stage_file, const StageInputs& in,
                                              StageMemo* memo = nullptr);

// A reference or asset path as seen from the layer that states it: against the directory of
// the layer's first sublayer when it has one, else of the layer itself (joined to `dir_path`
// when relative). Prints "local not exists" when that directory does not exist.
std::string resolve_ref(const std::string& layer_real_path, const std::string& first_sublayer,
                        const std::string& reference, const std::string& dir_path,
                        DirCache& listings, Flavour f);

}  // namespace scanflow
