// Bindings of the parameter scan, the sequence patterns and GPU detection.
#include "bindings.h"
#include "host_hou.h"
#include "module_services.h"
#include "pyutil.h"
#include "render/gpu.h"
#include "scan/param_scan.h"
#include "scan/sequence.h"
#include "scan/special_settings.h"

namespace scanflow::py_bridge {

void bind_scan(py::module_& m) {
    m.def(
        "has_gpu",
        [] {
            const Services& s = module_services();
            return has_gpu(s.module.platform_name, s.gpu_modules);
        },
        py::call_guard<ReleasedInterpreter>());
    m.def(
        "analysis_assetsChecking",
        [] {
            const Services& s = module_services();
            ScanInputs in{s.host, s.module, s.usd,
                          [&s] { return has_gpu(s.module.platform_name, s.gpu_modules); },
                          s.module.flavour()};
            analysis_assetsChecking(in);
        },
        py::call_guard<ReleasedInterpreter>());
    m.def(
        "RY_GetSequen",
        [](const py::object& parm) {
            ParmPtr handle = wrap_hou_parm(parm);
            const Services& s = module_services();
            ReleasedInterpreter release;
            std::string pattern = RY_GetSequen(*handle, s.host, s.module.flavour());
            record_pattern(handle->path(), pattern, s.module);
        },
        py::arg("parm"));
    m.def(
        "convertReference",
        [](const py::object& parm) {
            ParmPtr handle = wrap_hou_parm(parm);
            std::string text;
            {
                ReleasedInterpreter release;
                text = convertReference(*handle);
            }
            return to_pystr(text);
        },
        py::arg("nodeParm"));
    m.def(
        "clear_special_setting",
        [](const py::object& parm) {
            ParmPtr handle = wrap_hou_parm(parm);
            ReleasedInterpreter release;
            clear_special_setting(*handle);
        },
        py::arg("parm_path"));
    m.def(
        "get_otls",
        [](const py::object& node) {
            NodePtr handle = wrap_hou_node(node);
            ReleasedInterpreter release;
            get_otls(*handle, module_state().otls_assetpath);
        },
        py::arg("children"));
}

}  // namespace scanflow::py_bridge
