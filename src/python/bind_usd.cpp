// Bindings of the USD analysis of AnalysUsd and of the USD-file driver.
#include <set>

#include "base/console.h"
#include "bindings.h"
#include "pyutil.h"
#include "render/record_json.h"

namespace scanflow::py_bridge {

namespace {

// A layer is a pxr layer (its real path, and its first sublayer as written) or the path of one.
std::pair<std::string, std::string> layer_anchor(const py::object& layer) {
    if (py::isinstance<py::str>(layer)) return {text_of(layer), ""};
    py::list subs(layer.attr("subLayerPaths"));
    return {text_of(layer.attr("realPath")), subs.empty() ? "" : text_of(subs[0])};
}

// A reference is a reference or payload item (flag 0: its asset path), an asset value (any other
// flag: its path), or the path itself.
std::string reference_path(const py::object& reference, int flag) {
    if (py::isinstance<py::str>(reference)) return text_of(reference);
    return text_of(reference.attr(flag == 0 ? "assetPath" : "path"));
}

void bind_layer_operations(AnalysUsdClass& usd) {
    usd.def(
        "resolve_ref",
        [](AnalysUsd& self, const py::object& layer, const py::object& reference,
           const py::object& dir_path, int flag) {
            auto [real_path, first_sublayer] = layer_anchor(layer);
            std::string ref = reference_path(reference, flag);
            std::string dir = text_of(dir_path);
            ReleasedInterpreter release;
            return self.resolve_ref(real_path, first_sublayer, ref, dir);
        },
        py::arg("layer"), py::arg("reference"), py::arg("dir_path"), py::arg("flag") = 0);
    usd.def(
        "get_refe_layer",
        [](AnalysUsd& self, const py::object& usd_path, py::set allLayer) {
            std::set<std::string> layers;
            for (auto item : allLayer) layers.insert(text_of(item));
            std::string path = text_of(usd_path);
            {
                ReleasedInterpreter release;
                self.get_refe_layer(path, layers);
            }
            for (const auto& layer : layers) allLayer.add(to_pystr(layer));
        },
        py::arg("usd_path"), py::arg("allLayer"));
}

void bind_usd_file_flow(UsdDriverClass& usd_asset) {
    using Self = AnalysUsdAsset;
    const auto released = py::call_guard<ReleasedInterpreter>();
    usd_asset.def("getUsdAsset", [](Self& self) {
        std::vector<std::string> found;
        {
            ReleasedInterpreter release;
            found = self.getUsdAsset();
        }
        return to_pylist(found);
    });
    usd_asset.def("getUsdver", &Self::getUsdver, released);
    usd_asset.def("getUsdframe", &Self::getUsdframe, released);
    usd_asset.def("UsdRopNodeSetting", [](Self& self) {
        std::vector<RenderNodeRecord> records;
        {
            ReleasedInterpreter release;
            records = self.UsdRopNodeSetting();
        }
        return from_json(render_nodes_json(records));
    });
    usd_asset.def(
        "allusdAsset",
        [](Self& self, const py::object& file_paths) {
            std::vector<std::string> paths = to_strings(file_paths);
            UsdAssetLists lists;
            {
                ReleasedInterpreter release;
                lists = self.allusdAsset(paths);
            }
            return py::make_tuple(to_pylist(lists.present), to_pylist(lists.missing),
                                  to_pylist(lists.all));
        },
        py::arg("file_paths"));
    usd_asset.def("AnalyRenderNode", &Self::AnalyRenderNode, released);
    usd_asset.def("AssetInfo", &Self::AssetInfo, released);
    usd_asset.def("doit", &Self::doit, released);
}

}  // namespace

void bind_usd(AnalysUsdClass& usd, UsdDriverClass& usd_asset) {
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
    bind_layer_operations(usd);
    bind_usd_file_flow(usd_asset);
}

}  // namespace scanflow::py_bridge
