// Bindings of the render-node, camera and output-node checks of the scene driver.
#include "bindings.h"
#include "host_hou.h"
#include "module_services.h"
#include "pyutil.h"

namespace scanflow::py_bridge {

void bind_render(SceneDriverClass& hip) {
    hip.def("tips_keyword_info", &AnalysisHipAssets::tips_keyword_info,
            py::call_guard<ReleasedInterpreter>());
    hip.def("analysis_render_setting", [](AnalysisHipAssets& self) {
        Json settings;
        {
            ReleasedInterpreter release;
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
                ReleasedInterpreter release;
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
                ReleasedInterpreter release;
                found = AnalysisHipAssets::abc_find(p, module_services().host);
            }
            return py::make_tuple(to_pystr(found.first), from_json(found.second));
        },
        py::arg("path"));
    hip.def(
        "get_render_setting",
        [](AnalysisHipAssets& self, const py::object& obj, const py::object& type_name) {
            NodePtr node = wrap_hou_node(obj);
            std::string type = text_of(type_name);
            NodeRenderSetting result;
            {
                ReleasedInterpreter release;
                result = self.get_render_setting(*node, type);
            }
            return py::make_tuple(from_json(result.record), to_pylist(result.denoise),
                                  to_pylist(result.renderers));
        },
        py::arg("obj"), py::arg("obj_type_name"));
    auto json_method = [&](const char* name, auto method) {
        hip.def(name, [method](AnalysisHipAssets& self, const py::object& list) {
            Json records = to_json(list);
            Json out;
            {
                ReleasedInterpreter release;
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
                ReleasedInterpreter release;
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
                ReleasedInterpreter release;
                out = self.get_distributedsim_node_setting(a, i);
            }
            return from_json(out);
        },
        py::arg("distributedsim_node"), py::arg("i") = 0);
}

}  // namespace scanflow::py_bridge
