// The interpreter's modules that can tell whether a graphics card is usable.
#pragma once

namespace scanflow::py_bridge {

// PyTorch, TensorFlow, then NVML, each only when installed: true when one finds a card. A module
// that is installed but fails otherwise is an error.
bool probe_python_modules();

}  // namespace scanflow::py_bridge
