#include "gpu_probes.h"

#include "pyutil.h"
#include "safe_import.h"

namespace scanflow::py_bridge {

bool probe_python_modules() {
    // A module that is not installed is passed over without importing anything.
    py::gil_scoped_acquire gil;
    try {
        if (installed("torch") &&
            import_installed("torch").attr("cuda").attr("is_available")().cast<bool>())
            return true;
        if (installed("tensorflow")) {
            py::object devices =
                import_installed("tensorflow").attr("config").attr("list_physical_devices")("GPU");
            if (py::len(devices) > 0) return true;
        }
        if (installed("pynvml")) {
            py::object nvml = import_installed("pynvml");
            try {
                nvml.attr("nvmlInit")();
                int count = nvml.attr("nvmlDeviceGetCount")().cast<int>();
                nvml.attr("nvmlShutdown")();
                if (count > 0) return true;
            } catch (py::error_already_set& e) {
                if (!e.matches(nvml.attr("NVMLError"))) throw;
            }
        }
    } catch (py::error_already_set& e) {
        rethrow_as_core(e);
    }
    return false;
}

}  // namespace scanflow::py_bridge
