// Whether the machine running the analysis has a usable graphics card.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace scanflow {

// Probes of the interpreter's modules (PyTorch, TensorFlow, NVML): true when one finds a card,
// false when none does or none is installed. Set by the extension module.
void set_gpu_module_probe(std::function<bool()> probe);

// The module probes, then "nvidia-smi", then "lspci" (Linux) or "wmic" (Windows), each with a
// 5-second time-out. `platform` is the interpreter's platform name ("linux", "win32", ...).
bool has_gpu();
bool has_gpu(const std::string& platform);

}  // namespace scanflow
