// The USD analysis: layers, stage references and the recursive analysis of nested files.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "drivers/related.h"
#include "nested/nested_inputs.h"

namespace scanflow {

class AnalysUsd : public Related {
public:
    AnalysUsd(const Services& services, const RunParameters& param_dict);

    // A reference or asset path as seen from the layer that states it.
    std::string resolve_ref(const std::string& layer_real_path, const std::string& first_sublayer,
                            const std::string& reference, const std::string& dir_path);
    // The asset paths written between "@" signs in a .usda text.
    std::vector<std::string> handle_usda_file(const std::string& usda_file);
    // Adds a layer file's external layers, recursively, to `allLayer` (each layer opened once).
    void get_refe_layer(const std::string& usd_path, std::set<std::string>& allLayer);
    // The layers and assets a USD stage depends on, sorted.
    std::vector<std::string> get_stage_references(const std::string& stage_file);
    // The files named inside a scene, proxy or cache file, recursively; each file once per run.
    std::vector<std::string> ass_usd_usda_asset(const std::string& ass_path);

protected:
    NestedInputs nested_inputs(DirCache& listings);
    // The same, recording what is read in `run` instead of this object's own context.
    NestedInputs nested_inputs(DirCache& listings, RunContext& run);
};

}  // namespace scanflow
