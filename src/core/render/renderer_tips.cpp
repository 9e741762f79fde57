#include "render/renderer_tips.h"

#include <algorithm>

#include "render/node_facts.h"
#include "run/tip_codes.h"

namespace scanflow {

void add_denoise_tip(std::vector<std::string>& all_ar_denoise, const std::string& platform,
                     Tips& tips) {
    if (all_ar_denoise.empty() || gpu_platform(platform)) return;
    all_ar_denoise.push_back(
        "The above rendering node uses Optix denoising, (Arnold) does not support GPU "
        "denoising...");
    tips.set(tip::kArnoldGpuDenoise, all_ar_denoise);
}

void add_unconfigured_renderer_tip(const std::vector<std::string>& all_renderer_list,
                                   std::vector<std::string>& user_plugins, Tips& tips) {
    for (auto& plugin : user_plugins)
        if (plugin == "redshift") plugin = "RS";
    std::vector<std::string> unconfigured;
    for (const auto& name : all_renderer_list) {
        if (std::find(user_plugins.begin(), user_plugins.end(), name) == user_plugins.end() &&
            std::find(unconfigured.begin(), unconfigured.end(), name) == unconfigured.end())
            unconfigured.push_back(name);
    }
    if (unconfigured.empty()) return;
    std::string names;
    for (size_t i = 0; i < unconfigured.size(); ++i) names += (i ? "," : "") + unconfigured[i];
    tips.set(tip::kUnconfiguredRenderer,
             {names + " renderer are useing in the scene  but is not configured to cause "
                      "rendering errors."});
}

}  // namespace scanflow
