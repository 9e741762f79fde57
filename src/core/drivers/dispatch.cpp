#include "drivers/dispatch.h"

#include "base/os.h"

#include "drivers/scene_driver.h"
#include "drivers/usd_driver.h"

namespace scanflow {

std::string file_extension(const std::string& path) {
    auto slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    auto first = name.find_first_not_of('.');
    if (first == std::string::npos) return "";
    auto dot = name.rfind('.');
    if (dot == std::string::npos || dot < first) return "";
    return name.substr(dot);
}

AnalysisAssets::AnalysisAssets(const Services& services, const RunParameters& params)
    : Related(services, params), param_dict(params) {}

void AnalysisAssets::doit() {
    if (hip_file.empty() || !os::is_file(hip_file)) return;
    std::string ext = file_extension(hip_file);
    if (ext == ".hip" || ext == ".hiplc") {
        // A scene that the host cannot open at all is treated as a file the analysis does not
        // read: an analysis of nothing would write a success that vouches for no file.
        if (services_.host.refusal(hip_file)) return;
        AnalysisHipAssets(services_, param_dict).doit();
    } else if (ext == ".usd" || ext == ".usda" || ext == ".usdc") {
        AnalysUsdAsset(services_, param_dict).doit();
    }
}

void AnalysisAssets::doit_test() {
    AnalysisHipAssets(services_, param_dict).doit_test();
}

}  // namespace scanflow
