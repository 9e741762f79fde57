#include "host/hip/hip_host.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>
#include <sstream>

#include "base/errors.h"
#include "base/os.h"
#include "base/text.h"
#include "host/hip/archive.h"
#include "host/hip/geometry.h"
#include "host/hip/node_catalogue.h"
#include "host/hip/scene.h"
#include "util/flavour.h"

namespace scanflow::hip {

namespace {

class HipNode;

class HipParm : public Parm {
public:
    HipParm(std::shared_ptr<Scene> scene, ParmRef ref)
        : scene_(std::move(scene)), ref_(std::move(ref)) {}

    Value eval() override { return scene_->eval(ref_); }
    std::string evalAsString() override {
        Value v = eval();
        return v.kind() == Value::Kind::Float ? number_text(v.as_float()) : v.str();
    }
    NodePtr evalAsNode() override;
    std::string unexpandedString() override { return scene_->raw_text(ref_); }
    void set(const Value& value) override {
        scene_->set_component(ref_, value.is_number() ? Component::Number : Component::Bare,
                              value.str());
    }
    bool isLocked() override { return (entry().locks >> ref_.component) & 1u; }
    void lock(bool on) override {
        unsigned bit = 1u << ref_.component;
        entry().locks = on ? entry().locks | bit : entry().locks & ~bit;
    }
    void deleteAllKeyframes() override {
        Component& c = component();
        if (c.kind != Component::Channel) return;
        Value v = eval();
        set(v);
    }
    void revertToDefaults() override { scene_->revert_component(ref_); }
    ParmPtr getReferencedParm() override {
        auto target = scene_->referenced(ref_);
        if (!target) return std::make_shared<HipParm>(scene_, ref_);
        return std::make_shared<HipParm>(scene_, *target);
    }
    std::vector<std::string> menuLabels() override { return scene_->menu_labels(ref_); }
    std::string path() override { return ref_.node->path + "/" + ref_.name; }
    std::string name() override { return ref_.name; }
    NodePtr node() override;

private:
    ParmEntry& entry() { return ref_.node->entries[ref_.entry]; }
    Component& component() { return entry().components[ref_.component]; }
    std::shared_ptr<Scene> scene_;
    ParmRef ref_;
};

class HipTuple : public ParmTuple {
public:
    HipTuple(std::shared_ptr<Scene> scene, NodeData* node, size_t entry)
        : scene_(std::move(scene)), node_(node), entry_(entry) {}
    std::string name() override { return node_->entries[entry_].name; }
    Value eval() override {
        std::vector<Value> items;
        for (auto& p : parms()) items.push_back(p->eval());
        return Value::list(std::move(items));
    }
    std::vector<ParmPtr> parms() override {
        std::vector<ParmPtr> out;
        for (auto& ref : scene_->parms(*node_))
            if (ref.entry == entry_) out.push_back(std::make_shared<HipParm>(scene_, ref));
        return out;
    }

private:
    std::shared_ptr<Scene> scene_;
    NodeData* node_;
    size_t entry_;
};

class HipNode : public Node {
public:
    HipNode(std::shared_ptr<Scene> scene, NodeData* data) : scene_(std::move(scene)), data_(data) {}

    std::vector<NodePtr> allSubChildren() override {
        std::vector<NodePtr> out;
        // Depth first, without recursion: the tree can be deep.
        std::vector<NodeData*> todo(data_->children.rbegin(), data_->children.rend());
        while (!todo.empty()) {
            NodeData* n = todo.back();
            todo.pop_back();
            out.push_back(std::make_shared<HipNode>(scene_, n));
            todo.insert(todo.end(), n->children.rbegin(), n->children.rend());
        }
        return out;
    }
    void for_each_below(const std::function<void(Node&)>& visit) override {
        HipNode current(scene_, nullptr);
        std::vector<NodeData*> todo(data_->children.rbegin(), data_->children.rend());
        while (!todo.empty()) {
            current.data_ = todo.back();
            todo.pop_back();
            todo.insert(todo.end(), current.data_->children.rbegin(),
                        current.data_->children.rend());
            visit(current);
        }
    }
    std::vector<ParmPtr> parms() override {
        std::vector<ParmPtr> out;
        for (auto& ref : scene_->parms(*data_))
            out.push_back(std::make_shared<HipParm>(scene_, ref));
        return out;
    }
    ParmPtr parm(const std::string& name) override {
        auto ref = scene_->parm(*data_, name);
        if (!ref) return nullptr;
        return std::make_shared<HipParm>(scene_, *ref);
    }
    ParmTuplePtr parmTuple(const std::string& name) override {
        auto entry = scene_->tuple(*data_, name);
        if (!entry) return nullptr;
        return std::make_shared<HipTuple>(scene_, data_, *entry);
    }
    Value evalParm(const std::string& name) override {
        auto ref = scene_->parm(*data_, name);
        if (!ref) {
            // A tuple's name evaluates to all its components.
            if (auto entry = scene_->tuple(*data_, name))
                return HipTuple(scene_, data_, *entry).eval();
            throw HostError("Invalid parameter name: " + name, "hou.OperationFailed", data_->path);
        }
        return scene_->eval(*ref);
    }
    std::string path() override { return data_->path; }
    std::string name() override {
        return data_->path == "/" ? "" : data_->path.substr(data_->path.rfind('/') + 1);
    }
    std::string type_name() override { return data_->type; }
    std::optional<std::string> type_library_path() override { return scene_->library_of(*data_); }
    bool isBypassed() override { return data_->def.bypass; }
    bool isInsideLockedHDA() override { return scene_->inside_locked_asset(*data_); }
    std::vector<NodePtr> inputAncestors() override {
        std::vector<NodePtr> out;
        std::set<std::string> seen{data_->path};
        std::vector<std::string> todo = inputs_of(*data_);
        std::reverse(todo.begin(), todo.end());
        while (!todo.empty()) {
            std::string p = todo.back();
            todo.pop_back();
            NodeData* n = scene_->node(p);
            if (!n || !seen.insert(p).second) continue;
            out.push_back(std::make_shared<HipNode>(scene_, n));
            auto more = inputs_of(*n);
            for (auto it = more.rbegin(); it != more.rend(); ++it) todo.push_back(*it);
        }
        return out;
    }
    NodePtr parent() override {
        if (data_->parent_path().empty()) return nullptr;
        return std::make_shared<HipNode>(scene_, scene_->node(data_->parent_path()));
    }
    GeometryPtr geometry() override { return nullptr; }
    StagePtr stage() override { return nullptr; }
    void allowEditingOfContents() override { data_->matchesdef = false; }
    void setSelected(bool, bool) override {}

private:
    // The nodes wired into `n`, as paths; indirect inputs of a subnet lead to the subnet's own.
    std::vector<std::string> inputs_of(NodeData& n) {
        std::vector<std::string> out;
        for (const auto& [index, source] : n.def.inputs) {
            (void)index;
            if (source.empty() || source == "\"\"") continue;
            if (source.front() == '(') {
                int outer = std::atoi(source.c_str() + 1);
                if (NodeData* parent = scene_->node(n.parent_path()))
                    for (const auto& [i, s] : parent->def.inputs)
                        if (i == outer && !s.empty() && s.front() != '(' && s != "\"\"")
                            out.push_back(
                                scene_->resolve_path(std::string(parent->parent_path()), s));
                continue;
            }
            out.push_back(scene_->resolve_path(std::string(n.parent_path()), source));
        }
        return out;
    }
    std::shared_ptr<Scene> scene_;
    NodeData* data_;
};

NodePtr HipParm::evalAsNode() {
    std::string target = scene_->resolve_path(ref_.node->path, eval().str());
    NodeData* n = scene_->node(target);
    if (!n) return nullptr;
    return std::make_shared<HipNode>(scene_, n);
}

NodePtr HipParm::node() {
    return std::make_shared<HipNode>(scene_, ref_.node);
}

class HipHost : public Host {
public:
    // Like the host application, the layer starts with an empty, untitled scene.
    explicit HipHost(Environment environment) : environment_(std::move(environment)) {
        Archive empty;
        for (const char* net : {"obj", "out", "ch", "img", "mat", "shop", "stage", "tasks", "vex"})
            empty.sections.push_back(Section{std::string(net) + ".parm", "{\nversion 0.8\n}\n"});
        scene_ = std::make_shared<Scene>(empty, os::current_directory() + "/untitled.hip");
        scene_->use_environment(environment_);
    }
    std::string kind() const override { return "hip"; }
    // The scene's location ($HIP, $HIPFILE) is absolute, whatever path the scene was loaded by.
    void load_hip(const std::string& given) override {
        std::string path = absolute(given, os::current_directory(), native_flavour());
        // The host keeps "/" in a scene's location on every system.
        if (os::kWindows) path = slashes_forward(path);
        std::string archive_damage;
        scene_ = Scene::read(path, &archive_damage);
        scene_->use_environment(environment_.confined(confinement_));
        scene_->expand_assets(confinement_.get());
        std::vector<std::string> damage = scene_->damage();
        if (!archive_damage.empty()) damage.insert(damage.begin(), archive_damage);
        if (damage.empty()) return;
        std::string text = damage.front();
        for (size_t i = 1; i < damage.size(); ++i) text += "\n" + damage[i];
        throw LoadWarning(text, "hou.LoadWarning");
    }
    void setSimulationEnabled(bool) override {}
    void setUpdateMode(UpdateMode) override {}
    void setFrame(double frame) override { scene().frame = frame; }
    double frame() override { return scene().frame; }
    std::string hscript(const std::string&) override { return ""; }
    std::optional<std::string> getenv(const std::string& name) override {
        return scene().variable(name, nullptr);
    }
    void confine_variables(std::shared_ptr<const Confinement> confinement) override {
        confinement_ = confinement;
        scene().use_environment(environment_.confined(std::move(confinement)));
    }
    std::vector<int> applicationVersion() override {
        std::vector<int> parts;
        std::istringstream in(applicationVersionString());
        std::string part;
        while (std::getline(in, part, '.')) parts.push_back(std::atoi(part.c_str()));
        return parts;
    }
    std::string applicationVersionString() override { return scene_ ? scene_->save_version : ""; }
    NodePtr node(const std::string& path) override {
        if (path.empty()) return nullptr;
        NodeData* n = path[0] != '/'           ? scene().node(path)
                      : is_resolved_path(path) ? scene().node(path)
                                               : scene().node(scene().resolve_path("/", path));
        if (!n) return nullptr;
        return std::make_shared<HipNode>(scene_, n);
    }
    GeometryPtr load_geometry(const std::string& path) override { return load_geometry_file(path); }
    bool has_takes() override { return true; }
    std::pair<double, double> global_frame_range() override {
        const Timeline& t = scene().timeline;
        return {std::round(t.tstart * t.fps + 1), std::round(t.tend * t.fps)};
    }
    bool hides_output_drivers(Node& node) override {
        return holds_output_drivers(node.type_name());
    }
    std::optional<std::string> refusal(const std::string& path) override {
        return hip::refusal(path);
    }
    std::string current_scene_path() override {
        return scene_ ? scene_->variable("HIPFILE", nullptr).value_or("") : "";
    }

    Scene& scene() {
        if (!scene_) throw HostError("no scene is loaded", "hou.OperationFailed");
        return *scene_;
    }

private:
    std::shared_ptr<Scene> scene_;
    Environment environment_;                         // the machine's variables
    std::shared_ptr<const Confinement> confinement_;  // narrows them for each scene loaded
};

}  // namespace

Scene::AssetFigures asset_figures(Host& host) {
    auto* ours = dynamic_cast<HipHost*>(&host);
    return ours ? ours->scene().asset_figures() : Scene::AssetFigures{};
}

bool from_definition(Host& host, const std::string& node_path) {
    auto* ours = dynamic_cast<HipHost*>(&host);
    const NodeData* node = ours ? ours->scene().node(node_path) : nullptr;
    return node && node->from_definition;
}

std::shared_ptr<Host> make_hip_host(Environment environment) {
    return std::make_shared<HipHost>(std::move(environment));
}

}  // namespace scanflow::hip
