#include "usd_pxr.h"

#include "entry/errors.h"
#include "pyutil.h"

namespace scanflow::py_bridge {

namespace {

class PxrFacade : public UsdFacade {
public:
    explicit PxrFacade(py::object usd) : usd_(std::move(usd)) {}

    std::vector<std::pair<std::string, std::string>> variant_selections(
        const std::string& layer_path) override {
        return call_python([&] {
            py::object stage = usd_.get().attr("Stage").attr("Open")(to_pystr(layer_path));
            if (stage.is_none()) throw FileError(layer_path, "USD cannot open " + layer_path);
            std::vector<std::pair<std::string, std::string>> out;
            for (auto prim : stage.attr("TraverseAll")()) {
                if (!prim.attr("HasVariantSets")().cast<bool>()) continue;
                py::object same = stage.attr("GetPrimAtPath")(prim.attr("GetPath")());
                py::object sets = same.attr("GetVariantSets")();
                for (auto name : sets.attr("GetNames")()) {
                    py::object selection =
                        sets.attr("GetVariantSet")(name).attr("GetVariantSelection")();
                    out.emplace_back(text_of(name), text_of(selection));
                }
            }
            return out;
        });
    }

private:
    PyRef usd_;
};

}  // namespace

std::shared_ptr<UsdFacade> make_pxr_facade() {
    py::gil_scoped_acquire gil;
    try {
        return std::make_shared<PxrFacade>(py::module_::import("pxr.Usd"));
    } catch (py::error_already_set&) {
        return nullptr;
    }
}

}  // namespace scanflow::py_bridge
