// Whether the machine running the analysis has a usable graphics card.
#pragma once

#include <functional>
#include <string>

namespace scanflow {

// `module_probe` asks the interpreter's modules (PyTorch, TensorFlow, NVML): true when one
// finds a card (it may be empty). Then "nvidia-smi", then "lspci" (Linux) or "wmic" (Windows),
// each with a 5-second time-out. `platform` is the interpreter's platform name ("linux",
// "win32", ...).
bool has_gpu(const std::string& platform, const std::function<bool()>& module_probe);

}  // namespace scanflow
