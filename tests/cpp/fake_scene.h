// An in-memory scene for the C++ tests: nodes, parameters with raw text and a small evaluator
// ($HIP, $JOB, frame variables, `chs(...)` references, `padzero(...)`).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/host.h"
#include "test_support.h"

namespace scanflow::testing {

class FakeScene;

class FakeParm : public Parm, public std::enable_shared_from_this<FakeParm> {
public:
    FakeParm(FakeScene* scene, std::string node_path, std::string name, Value value)
        : scene_(scene),
          node_path_(std::move(node_path)),
          name_(std::move(name)),
          value_(value),
          default_(value) {}

    Value eval() override;
    std::string evalAsString() override { return eval().str(); }
    NodePtr evalAsNode() override;
    std::string unexpandedString() override {
        if (keyframed) throw HostError("animated parameter", "hou.OperationFailed");
        return value_.is_string() ? value_.as_string() : value_.str();
    }
    void set(const Value& value) override { value_ = value; }
    bool isLocked() override { return locked; }
    void lock(bool on) override { locked = on; }
    void deleteAllKeyframes() override { keyframed = false; }
    void revertToDefaults() override { value_ = default_; }
    ParmPtr getReferencedParm() override;
    std::vector<std::string> menuLabels() override { return labels; }
    std::string path() override { return node_path_ + "/" + name_; }
    std::string name() override { return name_; }
    NodePtr node() override;

    bool locked = false;
    bool keyframed = false;
    std::vector<std::string> labels;  // of a menu parameter
    std::string error;                // when set, eval fails with it

private:
    FakeScene* scene_;
    std::string node_path_;
    std::string name_;
    Value value_;
    Value default_;
};

class FakeNode : public Node {
public:
    FakeNode(FakeScene* scene, std::string path, std::string type)
        : scene_(scene), path_(std::move(path)), type_(std::move(type)) {}

    FakeNode& with(const std::string& name, Value value) {
        parms_.push_back(std::make_shared<FakeParm>(scene_, path_, name, value));
        return *this;
    }
    FakeNode& with(const std::string& name, const std::string& text) {
        return with(name, Value::text(text));
    }
    FakeNode& with(const std::string& name, const char* text) {
        return with(name, Value::text(text));
    }
    std::shared_ptr<FakeParm> fake_parm(const std::string& name) {
        for (auto& p : parms_)
            if (p->name() == name) return p;
        return nullptr;
    }

    std::vector<NodePtr> allSubChildren() override;
    std::vector<ParmPtr> parms() override { return {parms_.begin(), parms_.end()}; }
    ParmPtr parm(const std::string& name) override { return fake_parm(name); }
    ParmTuplePtr parmTuple(const std::string&) override { return nullptr; }
    Value evalParm(const std::string& name) override {
        auto p = fake_parm(name);
        if (!p) throw HostError("Invalid parameter name: " + name, "hou.OperationFailed", path_);
        return p->eval();
    }
    std::string path() override { return path_; }
    std::string name() override { return path_.substr(path_.rfind('/') + 1); }
    std::string type_name() override { return type_; }
    std::optional<std::string> type_library_path() override { return library; }
    bool isBypassed() override { return bypassed; }
    bool isInsideLockedHDA() override { return locked_hda; }
    std::vector<NodePtr> inputAncestors() override;
    NodePtr parent() override { return nullptr; }
    GeometryPtr geometry() override { return nullptr; }
    StagePtr stage() override { return nullptr; }
    void allowEditingOfContents() override { editable = true; }
    void setSelected(bool on, bool) override { selected = on; }

    std::optional<std::string> library;
    bool bypassed = false;
    bool locked_hda = false;
    bool editable = false;
    bool selected = false;
    std::vector<std::string> inputs;

private:
    FakeScene* scene_;
    std::string path_;
    std::string type_;
    std::vector<std::shared_ptr<FakeParm>> parms_;
};

class FakeScene : public ScriptedHost {
public:
    FakeScene() { add("/", "root"); }
    FakeNode& add(const std::string& path, const std::string& type) {
        nodes_.push_back(std::make_shared<FakeNode>(this, path, type));
        return *nodes_.back();
    }
    NodePtr node(const std::string& path) override {
        for (auto& n : nodes_)
            if (n->path() == path) return n;
        return nullptr;
    }
    std::shared_ptr<FakeParm> parm_at(const std::string& path) {
        auto slash = path.rfind('/');
        auto n = std::dynamic_pointer_cast<FakeNode>(node(path.substr(0, slash)));
        return n ? n->fake_parm(path.substr(slash + 1)) : nullptr;
    }
    std::vector<NodePtr> below(const std::string& path) {
        std::vector<NodePtr> out;
        std::string prefix = path == "/" ? "/" : path + "/";
        for (auto& n : nodes_)
            if (n->path() != path && n->path().rfind(prefix, 0) == 0) out.push_back(n);
        return out;
    }
    void setFrame(double f) override { current_frame = f; }
    double frame() override { return current_frame; }
    std::optional<std::string> getenv(const std::string& name) override {
        auto it = variables.find(name);
        if (it == variables.end()) return std::nullopt;
        return it->second;
    }
    // The evaluator: variables, frame variables and the two backtick functions the tests use.
    std::string expand(const std::string& raw);

    double current_frame = 1;
    std::map<std::string, std::string> variables{{"HIP", "/proj"}, {"JOB", "/jobs/show"}};

private:
    std::vector<std::shared_ptr<FakeNode>> nodes_;
    int expand_depth_ = 0;
};

}  // namespace scanflow::testing
