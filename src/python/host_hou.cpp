#include "host_hou.h"

#include "base/errors.h"
#include "pyutil.h"
#include "safe_import.h"

namespace scanflow::py_bridge {
namespace {

class HouNode;
class HouParm;

NodePtr wrap_node(py::object obj);
ParmPtr wrap_parm(py::object obj);

template <typename T>
std::vector<std::shared_ptr<T>> wrap_all(const py::object& seq,
                                         std::shared_ptr<T> (*wrap)(py::object)) {
    std::vector<std::shared_ptr<T>> out;
    for (auto item : seq) out.push_back(wrap(py::reinterpret_borrow<py::object>(item)));
    return out;
}

class HouParm : public Parm {
public:
    explicit HouParm(py::object obj) : ref_(std::move(obj)) {}
    Value eval() override {
        return call([&] { return to_value(obj().attr("eval")()); });
    }
    std::string evalAsString() override {
        return call([&] { return text_of(obj().attr("evalAsString")()); });
    }
    NodePtr evalAsNode() override {
        return call([&] { return wrap_node(obj().attr("evalAsNode")()); });
    }
    std::string unexpandedString() override {
        return call([&] { return text_of(obj().attr("unexpandedString")()); });
    }
    void set(const Value& value) override {
        call([&] { obj().attr("set")(from_value(value)); });
    }
    bool isLocked() override {
        return call([&] { return obj().attr("isLocked")().cast<bool>(); });
    }
    void lock(bool on) override {
        call([&] { obj().attr("lock")(on); });
    }
    void deleteAllKeyframes() override {
        call([&] { obj().attr("deleteAllKeyframes")(); });
    }
    void revertToDefaults() override {
        call([&] { obj().attr("revertToDefaults")(); });
    }
    ParmPtr getReferencedParm() override {
        return call([&] { return wrap_parm(obj().attr("getReferencedParm")()); });
    }
    std::vector<std::string> menuLabels() override {
        return call([&] {
            std::vector<std::string> out;
            for (auto item : obj().attr("menuLabels")()) out.push_back(text_of(item));
            return out;
        });
    }
    std::string path() override {
        return call([&] { return text_of(obj().attr("path")()); });
    }
    std::string name() override {
        return call([&] { return text_of(obj().attr("name")()); });
    }
    NodePtr node() override {
        return call([&] { return wrap_node(obj().attr("node")()); });
    }

private:
    const py::object& obj() const { return ref_.get(); }
    template <typename Fn>
    auto call(Fn&& fn) -> decltype(fn()) {
        return call_python_at(
            std::forward<Fn>(fn), [&] { return text_of(obj().attr("path")()); }, true);
    }
    PyRef ref_;
};

class HouParmTuple : public ParmTuple {
public:
    explicit HouParmTuple(py::object obj) : ref_(std::move(obj)) {}
    std::string name() override {
        return call_python([&] { return text_of(ref_.get().attr("name")()); });
    }
    Value eval() override {
        return call_python([&] { return to_value(ref_.get().attr("eval")()); });
    }
    std::vector<ParmPtr> parms() override {
        return call_python([&] { return wrap_all<Parm>(ref_.get(), &wrap_parm); });
    }

private:
    PyRef ref_;
};

class HouElement : public GeoElement {
public:
    explicit HouElement(py::object obj) : ref_(std::move(obj)) {}
    Value attribValue(const std::string& name) override {
        return call_python([&] { return to_value(ref_.get().attr("attribValue")(name)); });
    }
    std::optional<std::vector<std::string>> clip_file_names() override {
        return call_python([&]() -> std::optional<std::vector<std::string>> {
            if (!py::hasattr(ref_.get(), "clipCatalog")) return std::nullopt;
            std::vector<std::string> out;
            for (auto entry : ref_.get().attr("clipCatalog")()) {
                py::object name = py::isinstance<py::dict>(entry)
                                      ? py::object(entry.cast<py::dict>()["fileName"])
                                      : py::object(entry.attr("fileName"));
                if (PyCallable_Check(name.ptr())) name = name();
                out.push_back(text_of(name));
            }
            return out;
        });
    }
    std::optional<std::string> rig_file_name() override {
        return call_python([&]() -> std::optional<std::string> {
            if (!py::hasattr(ref_.get(), "rig")) return std::nullopt;
            py::object rig = ref_.get().attr("rig")();
            if (rig.is_none() || !py::hasattr(rig, "fileName")) return std::nullopt;
            py::object name = rig.attr("fileName");
            if (PyCallable_Check(name.ptr())) name = name();
            if (name.is_none()) return std::nullopt;
            return text_of(name);
        });
    }

private:
    PyRef ref_;
};

GeoElementPtr wrap_element(py::object obj) {
    return std::make_shared<HouElement>(std::move(obj));
}

class HouGeometry : public Geometry {
public:
    explicit HouGeometry(py::object obj) : ref_(std::move(obj)) {}
    std::vector<GeoElementPtr> points() override {
        return call_python(
            [&] { return wrap_all<GeoElement>(ref_.get().attr("points")(), &wrap_element); });
    }
    std::vector<GeoElementPtr> prims() override {
        return call_python(
            [&] { return wrap_all<GeoElement>(ref_.get().attr("prims")(), &wrap_element); });
    }
    std::vector<std::string> pointAttribs() override {
        return call_python([&] {
            std::vector<std::string> out;
            for (auto attrib : ref_.get().attr("pointAttribs")())
                out.push_back(text_of(attrib.attr("name")()));
            return out;
        });
    }

private:
    PyRef ref_;
};

class HouStage : public StageHandle {
public:
    explicit HouStage(py::object obj) : ref_(std::move(obj)) {}
    const py::object& get() const { return ref_.get(); }

private:
    PyRef ref_;
};

class HouNode : public Node {
public:
    explicit HouNode(py::object obj) : ref_(std::move(obj)) {}
    std::vector<NodePtr> allSubChildren() override {
        return call([&] { return wrap_all<Node>(obj().attr("allSubChildren")(), &wrap_node); });
    }
    std::vector<ParmPtr> parms() override {
        return call([&] { return wrap_all<Parm>(obj().attr("parms")(), &wrap_parm); });
    }
    ParmPtr parm(const std::string& name) override {
        return call([&] { return wrap_parm(obj().attr("parm")(name)); });
    }
    ParmTuplePtr parmTuple(const std::string& name) override {
        return call([&]() -> ParmTuplePtr {
            py::object t = obj().attr("parmTuple")(name);
            if (t.is_none()) return nullptr;
            return std::make_shared<HouParmTuple>(std::move(t));
        });
    }
    Value evalParm(const std::string& name) override {
        return call([&] { return to_value(obj().attr("evalParm")(name)); });
    }
    std::string path() override {
        return call([&] { return text_of(obj().attr("path")()); });
    }
    std::string name() override {
        return call([&] { return text_of(obj().attr("name")()); });
    }
    std::string type_name() override {
        return call([&] { return text_of(obj().attr("type")().attr("name")()); });
    }
    std::optional<std::string> type_library_path() override {
        return call([&]() -> std::optional<std::string> {
            py::object definition = obj().attr("type")().attr("definition")();
            if (definition.is_none()) return std::nullopt;
            return text_of(definition.attr("libraryFilePath")());
        });
    }
    bool isBypassed() override {
        return call([&] { return obj().attr("isBypassed")().cast<bool>(); });
    }
    bool isInsideLockedHDA() override {
        return call([&] { return obj().attr("isInsideLockedHDA")().cast<bool>(); });
    }
    std::vector<NodePtr> inputAncestors() override {
        return call([&] { return wrap_all<Node>(obj().attr("inputAncestors")(), &wrap_node); });
    }
    NodePtr parent() override {
        return call([&] { return wrap_node(obj().attr("parent")()); });
    }
    GeometryPtr geometry() override {
        return call([&]() -> GeometryPtr {
            py::object g = obj().attr("geometry")();
            if (g.is_none()) return nullptr;
            return std::make_shared<HouGeometry>(std::move(g));
        });
    }
    StagePtr stage() override {
        return call([&]() -> StagePtr {
            py::object s = obj().attr("stage")();
            if (s.is_none()) return nullptr;
            return std::make_shared<HouStage>(std::move(s));
        });
    }
    void allowEditingOfContents() override {
        call([&] { obj().attr("allowEditingOfContents")(); });
    }
    void setSelected(bool on, bool clear_all_selected) override {
        call([&] {
            obj().attr("setSelected")(on, py::arg("clear_all_selected") = clear_all_selected);
        });
    }

private:
    const py::object& obj() const { return ref_.get(); }
    template <typename Fn>
    auto call(Fn&& fn) -> decltype(fn()) {
        return call_python_at(
            std::forward<Fn>(fn), [&] { return text_of(obj().attr("path")()); }, false);
    }
    PyRef ref_;
};

NodePtr wrap_node(py::object obj) {
    if (obj.is_none()) return nullptr;
    return std::make_shared<HouNode>(std::move(obj));
}

ParmPtr wrap_parm(py::object obj) {
    if (obj.is_none()) return nullptr;
    return std::make_shared<HouParm>(std::move(obj));
}

class HouHost : public Host {
public:
    explicit HouHost(py::object hou) : hou_(std::move(hou)) {}
    std::string kind() const override { return "hou"; }
    void load_hip(const std::string& path) override {
        call_python([&] { hou().attr("hipFile").attr("load")(to_pystr(path)); });
    }
    void setSimulationEnabled(bool on) override {
        call_python([&] { hou().attr("setSimulationEnabled")(on); });
    }
    void setUpdateMode(UpdateMode mode) override {
        call_python([&] {
            py::object modes = hou().attr("updateMode");
            hou().attr("setUpdateMode")(
                modes.attr(mode == UpdateMode::Manual ? "Manual" : "OnMouseUp"));
        });
    }
    void setFrame(double frame) override {
        call_python([&] { hou().attr("setFrame")(frame); });
    }
    double frame() override {
        return call_python([&] { return hou().attr("frame")().cast<double>(); });
    }
    std::string hscript(const std::string& command) override {
        return call_python([&] {
            py::object result = hou().attr("hscript")(to_pystr(command));
            if (py::isinstance<py::tuple>(result) && py::len(result) > 0)
                return text_of(result.cast<py::tuple>()[0]);
            return text_of(result);
        });
    }
    std::optional<std::string> getenv(const std::string& name) override {
        return call_python([&]() -> std::optional<std::string> {
            py::object value = hou().attr("getenv")(to_pystr(name));
            if (value.is_none()) return std::nullopt;
            return text_of(value);
        });
    }
    std::vector<int> applicationVersion() override {
        return call_python([&] {
            std::vector<int> out;
            for (auto part : hou().attr("applicationVersion")()) out.push_back(part.cast<int>());
            return out;
        });
    }
    std::string applicationVersionString() override {
        return call_python([&] { return text_of(hou().attr("applicationVersionString")()); });
    }
    NodePtr node(const std::string& path) override {
        return call_python([&] { return wrap_node(hou().attr("node")(to_pystr(path))); });
    }
    GeometryPtr load_geometry(const std::string& path) override {
        return call_python([&]() -> GeometryPtr {
            py::object geometry = hou().attr("Geometry")();
            geometry.attr("loadFromFile")(to_pystr(path));
            return std::make_shared<HouGeometry>(std::move(geometry));
        });
    }
    bool has_takes() override {
        return call_python([&] { return py::hasattr(hou(), "takes"); });
    }
    std::pair<double, double> global_frame_range() override {
        return call_python([&] {
            py::object range = hou().attr("playbar").attr("frameRange")();
            return std::make_pair(range[py::int_(0)].cast<double>(),
                                  range[py::int_(1)].cast<double>());
        });
    }
    std::string current_scene_path() override {
        return call_python([&] { return text_of(hou().attr("hipFile").attr("path")()); });
    }

private:
    const py::object& hou() const { return hou_.get(); }
    PyRef hou_;
};

}  // namespace

NodePtr wrap_hou_node(py::object node) {
    return wrap_node(std::move(node));
}
ParmPtr wrap_hou_parm(py::object parm) {
    return wrap_parm(std::move(parm));
}

std::shared_ptr<Host> make_hou_host() {
    return call_python(
        [] { return std::shared_ptr<Host>(std::make_shared<HouHost>(import_installed("hou"))); });
}

}  // namespace scanflow::py_bridge
