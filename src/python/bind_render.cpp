// Bindings of the render-node, camera and output-node checks of the scene driver.
#include "bindings.h"
#include "host_hou.h"
#include "module_services.h"
#include "pyutil.h"
#include "render/record_json.h"

namespace scanflow::py_bridge {

namespace {

// `given` with `records` appended in place, as the scans hand back the list they are given; a
// value that is no list gives a new one (its items first, when it has any).
py::object appended(const py::object& given, const Json& records) {
    py::list out =
        py::isinstance<py::list>(given) ? py::reinterpret_borrow<py::list>(given) : py::list();
    if (!given.is_none() && !py::isinstance<py::list>(given))
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
    // The node scans append their records to the list a script gives.
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
            Json written = output_nodes_json(records, shared);
            // The working record a script gives is the scan's own: it ends as the last record.
            if (py::isinstance<py::dict>(geo_nodes) && !written.empty()) {
                geo_nodes.attr("clear")();
                geo_nodes.attr("update")(from_json(written.back()));
            }
            return appended(geo_node, written);
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
