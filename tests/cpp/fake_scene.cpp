#include "fake_scene.h"

#include <cmath>
#include <cstdio>

#include "util/regex.h"

namespace scanflow::testing {

namespace {
std::string padded(long long frame, int width) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*lld", width, frame);
    return buf;
}
}  // namespace

std::string FakeScene::expand(const std::string& raw) {
    // The host reports a reference cycle as an evaluation error.
    struct Depth {
        int& d;
        explicit Depth(int& v) : d(++v) {}
        ~Depth() { --d; }
    } depth(expand_depth_);
    if (expand_depth_ > 32) throw HostError("recursive reference", "hou.OperationFailed");
    std::string out;
    long long frame = std::llround(current_frame);
    for (size_t i = 0; i < raw.size();) {
        if (raw[i] == '`') {
            size_t end = raw.find('`', i + 1);
            if (end == std::string::npos) {
                out += raw.substr(i);
                break;
            }
            std::string expr = raw.substr(i + 1, end - i - 1);
            static const Regex chs(R"re(^chs?\("([^"]+)"\)$)re");
            static const Regex padzero(R"(^padzero\((\d+),\s*\$F\)$)");
            if (auto m = chs.search(expr)) {
                auto target = parm_at(*(*m)[1]);
                out += target ? target->eval().str() : "";
            } else if (auto p = padzero.search(expr)) {
                out += padded(frame, std::stoi(*(*p)[1]));
            } else {
                out += raw.substr(i, end - i + 1);
            }
            i = end + 1;
            continue;
        }
        if (raw[i] == '$') {
            size_t j = i + 1;
            while (j < raw.size() &&
                   (std::isalnum(static_cast<unsigned char>(raw[j])) || raw[j] == '_'))
                ++j;
            std::string name = raw.substr(i + 1, j - i - 1);
            if (name == "F" || name == "FF") {
                out += std::to_string(frame);
            } else if (name.size() > 1 && name[0] == 'F' &&
                       std::isdigit(static_cast<unsigned char>(name[1]))) {
                out += padded(frame, std::stoi(name.substr(1)));
            } else if (variables.count(name)) {
                out += variables[name];
            } else {
                out += raw.substr(i, j - i);
            }
            i = j;
            continue;
        }
        out.push_back(raw[i++]);
    }
    return out;
}

Value FakeParm::eval() {
    if (!error.empty()) throw HostError(error, "hou.OperationFailed", {}, path());
    if (!value_.is_string()) return value_;
    return Value::text(scene_->expand(value_.as_string()));
}

NodePtr FakeParm::evalAsNode() {
    return scene_->node(eval().str());
}

ParmPtr FakeParm::getReferencedParm() {
    static const Regex chs(R"re(^`chs?\("([^"]+)"\)`$)re");
    if (value_.is_string()) {
        if (auto m = chs.search(value_.as_string())) {
            if (auto target = scene_->parm_at(*(*m)[1])) return target;
        }
    }
    return shared_from_this();
}

NodePtr FakeParm::node() {
    return scene_->node(node_path_);
}

std::vector<NodePtr> FakeNode::allSubChildren() {
    return scene_->below(path_);
}

std::vector<NodePtr> FakeNode::inputAncestors() {
    std::vector<NodePtr> out;
    std::vector<std::string> todo = inputs;
    while (!todo.empty()) {
        auto n = std::dynamic_pointer_cast<FakeNode>(scene_->node(todo.front()));
        todo.erase(todo.begin());
        if (!n) continue;
        out.push_back(n);
        todo.insert(todo.end(), n->inputs.begin(), n->inputs.end());
    }
    return out;
}

}  // namespace scanflow::testing
