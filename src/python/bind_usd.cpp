// Bindings of the USD analysis of AnalysUsd and of the USD-file driver.
#include "base/console.h"
#include "bindings.h"
#include "pyutil.h"

namespace scanflow::py_bridge {

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
    usd_asset.def("doit", &AnalysUsdAsset::doit, py::call_guard<py::gil_scoped_release>());
}

}  // namespace scanflow::py_bridge
