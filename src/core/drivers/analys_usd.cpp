#include "drivers/analys_usd.h"

#include "nested/recursive.h"
#include "usd/layers.h"
#include "usd/stage_refs.h"
#include "usd/usda_text.h"

namespace scanflow {

AnalysUsd::AnalysUsd(const Services& services, const RunParameters& param_dict)
    : Related(services, param_dict) {}

NestedInputs AnalysUsd::nested_inputs(DirCache& listings) {
    return nested_inputs(listings, *this);
}

NestedInputs AnalysUsd::nested_inputs(DirCache& listings, RunContext& run) {
    return NestedInputs{run,
                        services_.module,
                        services_.usd,
                        services_.arnold,
                        services_.host,
                        services_.environment,
                        listings,
                        flavour()};
}

std::string AnalysUsd::resolve_ref(const std::string& layer_real_path,
                                   const std::string& first_sublayer, const std::string& reference,
                                   const std::string& dir_path) {
    RunSpan run = start_run();
    return scanflow::resolve_ref(layer_real_path, first_sublayer, reference, dir_path,
                                 run.listings(), flavour());
}

std::vector<std::string> AnalysUsd::handle_usda_file(const std::string& usda_file) {
    return scanflow::handle_usda_file(usda_file, flavour());
}

void AnalysUsd::get_refe_layer(const std::string& usd_path, std::set<std::string>& allLayer) {
    RunSpan run = start_run();
    scanflow::get_refe_layer(usd_path, allLayer, require_usd(services_.usd),
                             layer_search_dirs(services_.module.env_i, services_.environment),
                             run.listings(), flavour());
}

std::vector<std::string> AnalysUsd::get_stage_references(const std::string& stage_file) {
    RunSpan run = start_run();
    return scanflow::get_stage_references(stage_file, nested_inputs(run.listings()).stage());
}

std::vector<std::string> AnalysUsd::ass_usd_usda_asset(const std::string& ass_path) {
    RunSpan run = start_run();
    return scanflow::ass_usd_usda_asset(ass_path, nested_inputs(run.listings()));
}

}  // namespace scanflow
