// Entry points of analysis steps whose readers and checks are not part of this build yet. Each
// contributes nothing until its reader or check lands: the analysis runs in its full order and
// the result files are complete for everything else.
#include "drivers/analysis.h"
#include "entry/timed.h"

namespace scanflow {

std::vector<std::string> AnalysUsd::ass_usd_usda_asset(const std::string& path) {
    (void)path;  // Arnold, USD, V-Ray and compressed-geometry contents are not read yet.
    return timed(2, "ass_usd_usda_asset", [] { return std::vector<std::string>{}; });
}

std::vector<std::string> Related::get_file_from_rs_cmd(const std::string& path) {
    (void)path;  // Redshift proxies are not read yet.
    return timed(2, "get_file_from_rs_cmd", [] { return std::vector<std::string>{}; });
}

std::vector<std::string> AnalysisHipAssets::get_bgeo_asset(const std::string& path) {
    (void)path;  // Geometry caches are not read yet.
    return timed(2, "get_bgeo_asset", [] { return std::vector<std::string>{}; });
}

}  // namespace scanflow
