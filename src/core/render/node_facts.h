// Small readings of render and output nodes shared by the node checks.
#pragma once

#include <string>

#include "host/host.h"

namespace scanflow {

// "first-last[step]" from the node's f1, f2, f3 (truncated; step 1 unless f3 > 0). A node that
// lacks a frame parameter takes the scene's global range for it.
std::string frames_text(Node& node, Host& host);
// Whether a platform number is one of the GPU platforms ("21", "61", "75").
bool gpu_platform(const std::string& platform);
// A toggle or menu value that is on (non-zero, non-empty).
bool is_on(const Value& v);

}  // namespace scanflow
