// Bindings of the scan, the sequence patterns, GPU detection and the result-file writers.
#include <pybind11/stl.h>

#include "bindings.h"
#include "drivers/analysis.h"
#include "host_hou.h"
#include "output/result_files.h"
#include "pyutil.h"
#include "render/gpu.h"
#include "scan/param_scan.h"
#include "scan/sequence.h"

namespace scanflow::py_bridge {

namespace {

py::list to_pylist(const std::vector<std::string>& items) {
    py::list out;
    for (const auto& item : items) out.append(to_pystr(item));
    return out;
}

// Whether an installed module finds a graphics card. A module that is not installed is passed
// over without importing anything; one that is installed but fails otherwise is an error.
bool probe_python_modules() {
    py::gil_scoped_acquire gil;
    py::object find_spec = py::module_::import("importlib.util").attr("find_spec");
    auto installed = [&](const char* name) { return !find_spec(name).is_none(); };
    try {
        if (installed("torch") &&
            py::module_::import("torch").attr("cuda").attr("is_available")().cast<bool>())
            return true;
        if (installed("tensorflow")) {
            py::object devices = py::module_::import("tensorflow")
                                     .attr("config")
                                     .attr("list_physical_devices")("GPU");
            if (py::len(devices) > 0) return true;
        }
        if (installed("pynvml")) {
            py::module_ nvml = py::module_::import("pynvml");
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

}  // namespace

void bind_scan(py::module_& m) {
    set_gpu_module_probe(&probe_python_modules);
    m.def(
        "has_gpu", [] { return has_gpu(); }, py::call_guard<py::gil_scoped_release>());
    m.def("analysis_assetsChecking", &analysis_assetsChecking,
          py::call_guard<py::gil_scoped_release>());
    m.def(
        "RY_GetSequen",
        [](const py::object& parm) {
            ParmPtr handle = wrap_hou_parm(parm);
            py::gil_scoped_release release;
            RY_GetSequen(*handle);
        },
        py::arg("parm"));
    m.def(
        "convertReference",
        [](const py::object& parm) {
            ParmPtr handle = wrap_hou_parm(parm);
            std::string text;
            {
                py::gil_scoped_release release;
                text = convertReference(*handle);
            }
            return to_pystr(text);
        },
        py::arg("nodeParm"));
    m.def(
        "writeFile",
        [](const py::object& info_file, const py::object& info_dict) {
            std::string path = text_of(info_file);
            Json record = to_json(info_dict);
            py::gil_scoped_release release;
            writeFile(path, record);
        },
        py::arg("info_file"), py::arg("info_dict"));
    m.def(
        "write_asset_txt",
        [](const py::object& info_file, const py::object& missing, const py::object& files,
           const py::object& scene_file) {
            std::vector<std::string> lines;
            for (auto item : files) lines.push_back(text_of(item));
            write_asset_txt(text_of(info_file), to_json(missing), lines, text_of(scene_file));
        },
        py::arg("info_file"), py::arg("missing"), py::arg("files"), py::arg("scene_file"));
}

void bind_assembly(py::class_<AnalysisHipAssets, AnalysUsd>& hip) {
    hip.def(
        "all_upload_list",
        [](AnalysisHipAssets& self, const py::object& uploads) {
            std::vector<std::string> items;
            for (auto item : uploads) items.push_back(text_of(item));
            UploadLists lists;
            {
                py::gil_scoped_release release;
                lists = self.all_upload_list(items);
            }
            return py::make_tuple(to_pylist(lists.present), to_pylist(lists.missing),
                                  from_json(lists.nested));
        },
        py::arg("uploads_list"));
    hip.def("write_json", &AnalysisHipAssets::write_json, py::call_guard<py::gil_scoped_release>());
    hip.def("analy_info", &AnalysisHipAssets::analy_info, py::call_guard<py::gil_scoped_release>());
    hip.def("tips_keyword_info", &AnalysisHipAssets::tips_keyword_info,
            py::call_guard<py::gil_scoped_release>());
    hip.def("analysis_render_setting", [](AnalysisHipAssets& self) {
        Json settings;
        {
            py::gil_scoped_release release;
            settings = self.analysis_render_setting();
        }
        return from_json(settings);
    });
    hip.def_property(
        "asset_list_file_path",
        [](const AnalysisHipAssets& self) { return to_pystr(self.asset_list_file_path); },
        [](AnalysisHipAssets& self, const py::object& v) {
            self.asset_list_file_path = text_of(v);
        });
}

}  // namespace scanflow::py_bridge
