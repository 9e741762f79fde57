// Bindings of the scan, the sequence patterns, GPU detection and the result-file writers.
#include <pybind11/stl.h>

#include "bindings.h"
#include "drivers/analysis.h"
#include "entry/console.h"
#include "host_hou.h"
#include "output/result_files.h"
#include "pyutil.h"
#include "render/gpu.h"
#include "scan/param_scan.h"
#include "scan/sequence.h"
#include "tasks/rely_task.h"
#include "upload/ass_reader.h"

#include <algorithm>

namespace scanflow::py_bridge {

namespace {

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
    py::class_<RelyTask>(m, "RelyTask")
        .def(py::init([](const py::object& task, const py::object& scene_info,
                         const py::object& method_way) {
                 return new RelyTask(to_json(task), to_json(scene_info), text_of(method_way));
             }),
             py::arg("task_json_dict"), py::arg("scene_info_dict"), py::arg("method_way"))
        .def("init_rely_task_dict", &RelyTask::init_rely_task_dict)
        .def("get_scene_support_task",
             [](const RelyTask& t) { return from_json(t.get_scene_support_task()); })
        .def("merge_lists",
             [](const RelyTask& t, const py::object& a, const py::object& b) {
                 return from_json(t.merge_lists(to_json(a), to_json(b)));
             })
        .def("merge_edit_value",
             [](const RelyTask& t, const py::object& a, const py::object& b) {
                 return from_json(t.merge_edit_value(to_json(a), to_json(b)));
             })
        .def("merge_values",
             [](const RelyTask& t, const py::object& a, const py::object& b) {
                 return from_json(t.merge_values(to_json(a), to_json(b)));
             })
        .def("run", [](const RelyTask& t) { return from_json(t.run()); })
        .def_property_readonly("rely_task_dict",
                               [](const RelyTask& t) { return from_json(t.rely_task_dict); })
        .def_property_readonly("layers", [](const RelyTask& t) { return from_json(t.layers); })
        .def_property_readonly("RELY_DICT",
                               [](const RelyTask& t) { return from_json(t.RELY_DICT); });

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
    hip.def(
        "CheckCamera",
        [](AnalysisHipAssets& self, const py::object& ropnode) {
            Json records;
            if (!ropnode.is_none()) records = to_json(ropnode);
            Json cameras;
            {
                py::gil_scoped_release release;
                cameras = self.CheckCamera(ropnode.is_none() ? nullptr : &records);
            }
            return from_json(cameras);
        },
        py::arg("ropnode") = py::none());
    hip.def_static(
        "abc_find",
        [](const py::object& path) {
            std::string p = text_of(path);
            std::pair<std::string, Json> found;
            {
                py::gil_scoped_release release;
                found = AnalysisHipAssets::abc_find(p);
            }
            return py::make_tuple(to_pystr(found.first), from_json(found.second));
        },
        py::arg("path"));
    hip.def(
        "get_render_setting",
        [](AnalysisHipAssets& self, const py::object& obj, const py::object& type_name) {
            NodePtr node = wrap_hou_node(obj);
            std::string type = text_of(type_name);
            std::tuple<Json, Json, Json> result;
            {
                py::gil_scoped_release release;
                result = self.get_render_setting(*node, type);
            }
            return py::make_tuple(from_json(std::get<0>(result)), from_json(std::get<1>(result)),
                                  from_json(std::get<2>(result)));
        },
        py::arg("obj"), py::arg("obj_type_name"));
    auto json_method = [&](const char* name, auto method) {
        hip.def(name, [method](AnalysisHipAssets& self, const py::object& list) {
            Json records = to_json(list);
            Json out;
            {
                py::gil_scoped_release release;
                out = method(self, records);
            }
            return from_json(out);
        });
    };
    json_method("get_rop_node_setting",
                [](AnalysisHipAssets& s, Json r) { return s.get_rop_node_setting(r); });
    hip.def(
        "get_geo_node_setting",
        [](AnalysisHipAssets& self, const py::object& geo_nodes, const py::object& geo_node) {
            Json a = to_json(geo_nodes), b = to_json(geo_node), out;
            {
                py::gil_scoped_release release;
                out = self.get_geo_node_setting(a, b);
            }
            return from_json(out);
        },
        py::arg("geo_nodes"), py::arg("geo_node"));
    hip.def(
        "get_distributedsim_node_setting",
        [](AnalysisHipAssets& self, const py::object& records, int i) {
            Json a = to_json(records), out;
            {
                py::gil_scoped_release release;
                out = self.get_distributedsim_node_setting(a, i);
            }
            return from_json(out);
        },
        py::arg("distributedsim_node"), py::arg("i") = 0);
    hip.def_property(
        "asset_list_file_path",
        [](const AnalysisHipAssets& self) { return to_pystr(self.asset_list_file_path); },
        [](AnalysisHipAssets& self, const py::object& v) {
            self.asset_list_file_path = text_of(v);
        });
}

}  // namespace scanflow::py_bridge

namespace scanflow::py_bridge {

namespace {

// The Arnold scene reader over the renderer's own binding, in the order of calls it expects.
std::vector<std::string> arnold_file_names(const std::string& ass) {
    return call_python([&] {
        py::module_ ar = py::module_::import("arnold");
        std::vector<std::string> names;
        ar.attr("AiBegin")();
        std::string version = text_of(ar.attr("AiGetVersionString")());
        py::object iterator;
        auto all = ar.attr("AI_NODE_ALL");
        auto log_all = ar.attr("AI_LOG_ALL");
        if (version >= "7.4.0.0") {  // compared as text, as the renderer's scripts do
            py::object universe = ar.attr("AiUniverse")();
            ar.attr("AiSceneLoad")(universe, to_pystr(ass), py::none());
            iterator = ar.attr("AiUniverseGetNodeIterator")(universe, all);
        } else {
            try {
                ar.attr("AiMsgSetConsoleFlags")(log_all);
                ar.attr("AiASSLoad")(to_pystr(ass), all);
                iterator = ar.attr("AiUniverseGetNodeIterator")(all);
            } catch (py::error_already_set&) {
                py::object universe = ar.attr("AiUniverse")();
                ar.attr("AiMsgSetConsoleFlags")(universe, log_all);
                ar.attr("AiASSLoad")(universe, to_pystr(ass), all);
                iterator = ar.attr("AiUniverseGetNodeIterator")(universe, all);
            }
        }
        while (!ar.attr("AiNodeIteratorFinished")(iterator).cast<bool>()) {
            py::object node = ar.attr("AiNodeIteratorGetNext")(iterator);
            for (const char* type : {"MayaFile", "image", "procedural", "alembic"}) {
                if (!ar.attr("AiNodeIs")(node, type).cast<bool>()) continue;
                std::string name = text_of(ar.attr("AiNodeGetStr")(node, "filename"));
                if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
                    names.push_back(name);
                break;
            }
        }
        ar.attr("AiNodeIteratorDestroy")(iterator);
        ar.attr("AiEnd")();
        return names;
    });
}

template <typename Cls, typename Fn>
void bind_path_reader(Cls& cls, const char* name, const char* arg, Fn fn) {
    cls.def(
        name,
        [fn](typename Cls::type& self, const py::object& path) {
            std::string p = text_of(path);
            std::vector<std::string> found;
            {
                py::gil_scoped_release release;
                found = fn(self, p);
            }
            return to_pylist(found);
        },
        py::arg(arg));
}

}  // namespace

void bind_nested(py::module_& m, py::class_<Related>& related, py::class_<AnalysUsd, Related>& usd,
                 py::class_<AnalysisHipAssets, AnalysUsd>& hip) {
    if (py::hasattr(m, "ar")) set_arnold_reader(&arnold_file_names);
    bind_path_reader(related, "get_ass_path", "ass",
                     [](Related&, const std::string& p) { return Related::get_ass_path(p); });
    bind_path_reader(related, "read_in_vrscene", "vrscene_path",
                     [](Related& r, const std::string& p) { return r.read_in_vrscene(p); });
    bind_path_reader(related, "get_file_from_rs_cmd", "rs_file",
                     [](Related& r, const std::string& p) { return r.get_file_from_rs_cmd(p); });
    bind_path_reader(related, "get_rs_file_with_open", "rs_file",
                     [](Related& r, const std::string& p) { return r.get_rs_file_with_open(p); });
    related.def(
        "get_rs_file_from_cmd",
        [](Related& r, const py::object& rs_file, const py::object& exe) {
            std::string a = text_of(rs_file), b = text_of(exe);
            std::vector<std::string> found;
            {
                py::gil_scoped_release release;
                found = r.get_rs_file_from_cmd(a, b);
            }
            return to_pylist(found);
        },
        py::arg("rs_file"), py::arg("exe"));
    related.def("get_rs_exe", [](Related&) { return to_pystr(Related::get_rs_exe()); });
    bind_path_reader(usd, "ass_usd_usda_asset", "ass_path",
                     [](AnalysUsd& u, const std::string& p) { return u.ass_usd_usda_asset(p); });
    usd.def(
        "get_non_selected_variant_data",
        [](AnalysUsd&, const py::object& prim, const py::dict& variant_data) {
            // Switch the variants, read the layers of the prim's spec stack, switch them back.
            py::dict previous;
            for (auto item : variant_data) {
                py::object set_name = py::reinterpret_borrow<py::object>(item.first);
                py::object name = py::reinterpret_borrow<py::object>(item.second);
                py::object vset = prim.attr("GetVariantSet")(set_name);
                if (!vset || !vset.attr("IsValid")().cast<bool>()) continue;
                previous[set_name] = vset.attr("GetVariantSelection")();
                try {
                    if (!vset.attr("SetVariantSelection")(name).cast<bool>())
                        console::print("change Variant failed!====>" + text_of(set_name) + ":" +
                                       text_of(name));
                } catch (py::error_already_set&) {
                    console::print("change Variant failed !!!====>" + text_of(set_name) + ":" +
                                   text_of(name));
                }
            }
            py::list layers;
            for (auto entry : prim.attr("GetPrimStackWithLayerOffsets")()) {
                py::tuple pair = entry.cast<py::tuple>();
                layers.append(pair[0].attr("layer").attr("identifier"));
            }
            for (auto item : previous)
                prim.attr("GetVariantSet")(item.first).attr("SetVariantSelection")(item.second);
            return layers;
        },
        py::arg("prim"), py::arg("variant_data"));
    bind_path_reader(usd, "handle_usda_file", "usda_file",
                     [](AnalysUsd& u, const std::string& p) { return u.handle_usda_file(p); });
    bind_path_reader(usd, "get_stage_references", "path",
                     [](AnalysUsd& u, const std::string& p) { return u.get_stage_references(p); });
    bind_path_reader(
        hip, "get_bgeo_asset", "bgeo_path",
        [](AnalysisHipAssets& h, const std::string& p) { return h.get_bgeo_asset(p); });
    bind_path_reader(
        hip, "get_begosc_instance", "bgeosc_path",
        [](AnalysisHipAssets& h, const std::string& p) { return h.get_begosc_instance(p); });
}

}  // namespace scanflow::py_bridge
