// The tips about the renderers a scene uses: Arnold GPU denoising off the GPU platforms, and
// renderers the task does not configure.
#pragma once

#include <string>
#include <vector>

#include "run/tips.h"

namespace scanflow {

// "50107": the denoising entries followed by the explanation, on a non-GPU platform. The entries
// list keeps the explanation.
void add_denoise_tip(std::vector<std::string>& all_ar_denoise, const std::string& platform,
                     Tips& tips);

// "50108": the renderers used that are not among the configured plug-ins (where "redshift" is
// renamed "RS" in place first).
void add_unconfigured_renderer_tip(const std::vector<std::string>& all_renderer_list,
                                   std::vector<std::string>& user_plugins, Tips& tips);

}  // namespace scanflow
