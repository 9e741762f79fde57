// Bindings of the render-node, camera and output-node checks of the scene driver.
#include "bindings.h"
#include "host_hou.h"
#include "module_services.h"
#include "pyutil.h"
#include "render/record_json.h"

namespace scanflow::py_bridge {

namespace {

// A new list: the items of `given` (none when it is None), then `records`.
py::list appended(const py::object& given, const Json& records) {
    py::list out;
    if (!given.is_none())
        for (auto item : given) out.append(item);
    for (auto item : from_json(records)) out.append(item);
    return out;
}

}  // namespace

void bind_render(SceneDriverClass& hip) {
    hip.def("tips_keyword_info", &AnalysisHipAssets::tips_keyword_info,
            py::call_guard<ReleasedInterpreter>());
    hip.def("analysis_render_setting", [](AnalysisHipAssets& self) {
        RenderSettingsByName settings;
        {
            ReleasedInterpreter release;
            settings = self.analysis_render_setting();
        }
        return from_json(render_settings_json(settings));
    });
    hip.def(
        "CheckCamera",
        [](AnalysisHipAssets& self, const py::object& ropnode) {
            std::vector<std::string> nodes;
            if (!ropnode.is_none())
                for (const auto& record : render_nodes_from_json(to_json(ropnode)))
                    nodes.push_back(record.node);
            CameraCheck cameras;
            {
                ReleasedInterpreter release;
                cameras = self.CheckCamera(ropnode.is_none() ? nullptr : &nodes);
            }
            return from_json(camera_check_json(cameras));
        },
        py::arg("ropnode") = py::none());
    hip.def_static(
        "abc_find",
        [](const py::object& path) {
            std::string p = text_of(path);
            AlembicChain found;
            {
                ReleasedInterpreter release;
                found = AnalysisHipAssets::abc_find(p, module_services().host);
            }
            return py::make_tuple(to_pystr(found.status),
                                  from_json(alembic_links_json(found.links)));
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
            return py::make_tuple(from_json(render_setting_json(result.record)),
                                  to_pylist(result.denoise), to_pylist(result.renderers));
        },
        py::arg("obj"), py::arg("obj_type_name"));
    // The node scans append their records to the list a script gives, as new lists.
    hip.def(
        "get_rop_node_setting",
        [](AnalysisHipAssets& self, const py::object& rop_node) {
            std::vector<RenderNodeRecord> records;
            {
                ReleasedInterpreter release;
                records = self.get_rop_node_setting();
            }
            return appended(rop_node, render_nodes_json(records));
        },
        py::arg("rop_node"));
    hip.def(
        "get_geo_node_setting",
        [](AnalysisHipAssets& self, const py::object& geo_nodes, const py::object& geo_node) {
            Json shared = to_json(geo_nodes);
            std::vector<OutputNodeRecord> records;
            {
                ReleasedInterpreter release;
                records = self.get_geo_node_setting();
            }
            return appended(geo_node, output_nodes_json(records, std::move(shared)));
        },
        py::arg("geo_nodes"), py::arg("geo_node"));
    hip.def(
        "get_distributedsim_node_setting",
        [](AnalysisHipAssets& self, const py::object& distributedsim_node, int /*counter*/) {
            std::vector<SimulationRecord> records;
            {
                ReleasedInterpreter release;
                records = self.get_distributedsim_node_setting();
            }
            return appended(distributedsim_node, simulations_json(records));
        },
        py::arg("distributedsim_node"), py::arg("i") = 0);
}

}  // namespace scanflow::py_bridge
