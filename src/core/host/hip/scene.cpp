#include "host/hip/scene.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string_view>

#include "base/budgets.h"
#include "base/errors.h"
#include "base/os.h"
#include "base/text.h"
#include "host/hip/node_catalogue.h"
#include "host/hip/py_expr.h"
#include "util/confinement.h"
#include "util/flavour.h"

namespace scanflow::hip {

namespace {

const std::set<std::string, std::less<>>& root_networks() {
    static const std::set<std::string, std::less<>> names{"obj", "out", "ch",    "shop", "img",
                                                          "vex", "mat", "stage", "tasks"};
    return names;
}

// Suffixes of tuple components, by naming scheme.
const std::vector<std::string>& scheme_for(const std::string& tuple, size_t size) {
    static const std::vector<std::string> xyzw{"x", "y", "z", "w"};
    static const std::vector<std::string> rgba{"r", "g", "b", "a"};
    static const std::vector<std::string> minmax{"min", "max"};
    static const std::vector<std::string> numeric{"1", "2",  "3",  "4",  "5",  "6",  "7",  "8",
                                                  "9", "10", "11", "12", "13", "14", "15", "16"};
    static const std::set<std::string> xyz_names{
        "t",    "r",      "s",   "p",          "pr",           "shear", "n",   "up",     "pivot",
        "size", "center", "res", "resolution", "res_override", "dir",   "pos", "origin", "scale3"};
    if (xyz_names.count(tuple) && size <= 4) return xyzw;
    if (size <= 4 && (ends_with(tuple, "color") || ends_with(tuple, "colour") || tuple == "Cd" ||
                      tuple == "diff"))
        return rgba;
    if (size == 2 && (tuple == "framerange" || ends_with(tuple, "range"))) return minmax;
    return numeric;
}

std::string archive_name(const std::string& path, const std::string& section) {
    return path + ":" + section;
}

double parse_number(const std::string& s) {
    return std::strtod(s.c_str(), nullptr);
}

Value number_value(const std::string& text) {
    if (text.find_first_of(".eE") == std::string::npos)
        return Value::integer(std::strtoll(text.c_str(), nullptr, 10));
    return Value::real(parse_number(text));
}

// Menus of parameters the analysis compares as numbers, by parameter name, for node types the
// catalogue does not know.
const std::map<std::string, ParmTemplate>& menus_by_name() {
    auto menu = [](std::vector<std::string> tokens, std::vector<std::string> labels) {
        ParmTemplate t;
        t.type = "ordinal";
        t.menu_tokens = std::move(tokens);
        t.menu_labels = std::move(labels);
        return t;
    };
    static const std::map<std::string, ParmTemplate> table{
        {"trange", menu({"off", "normal", "on"}, {"Render Current Frame", "Render Frame Range",
                                                  "Render Frame Range Only (Strict)"})},
        {"filemethod", menu({"constructed", "explicit"}, {"Constructed", "Explicit"})},
        {"loadfromdisk", menu({"off", "on"}, {"Off", "On"})},
        // V-Ray's render node: the device and what a render does, as its messages name them.
        {"render_render_mode", menu({"0", "1", "2"}, {"CPU", "CUDA", "RTX"})},
        {"render_export_mode", menu({"0", "1", "2"}, {"No Export", "Export", "Export & Render"})},
    };
    return table;
}

bool interpolation(const std::string& expr) {
    static const std::set<std::string> names{"bezier()",  "linear()",   "constant()",  "cubic()",
                                             "ease()",    "easein()",   "easeout()",   "easep()",
                                             "easeinp()", "easeoutp()", "spline()",    "qlinear()",
                                             "quintic()", "vmatchin()", "vmatchout()", "vmatch()"};
    return expr.empty() || names.count(expr) > 0;
}

struct DepthGuard {
    int& d;
    EvalBudget::Level level;
    DepthGuard(int& v, EvalBudget& budget) : d(++v), level(budget) {
        if (d > 64) throw ExprError("recursive parameter references");
    }
    ~DepthGuard() { --d; }
};

}  // namespace

// One parameter's evaluation: its budget, and the values of the parameters it has read, so
// that a parameter read twice (p = ch("q") + ch("q")) is evaluated once.
struct Evaluation {
    EvalBudget budget;
    std::unordered_map<const Component*, Value> values;
};

// The evaluation context of one parameter of one node.
class Scope : public ExprScope {
public:
    Scope(Scene& scene, NodeData& node, int depth, Evaluation& evaluation)
        : scene_(scene), node_(node), depth_(depth), evaluation_(evaluation) {}

    EvalBudget& budget() override { return evaluation_.budget; }

    std::optional<std::string> variable(const std::string& name) override {
        return scene_.variable(name, &node_);
    }

    ExprValue channel(const std::string& path, bool as_string, bool raw) override {
        size_t slash = path.rfind('/');
        std::string node_path = slash == std::string::npos
                                    ? node_.path
                                    : scene_.resolve_path(node_.path, path.substr(0, slash));
        std::string parm_name = slash == std::string::npos ? path : path.substr(slash + 1);
        NodeData* target = scene_.node(node_path);
        if (!target) return as_string ? ExprValue::str("") : ExprValue::num(0);
        auto parm = scene_.parm(*target, parm_name);
        if (!parm) {
            const Channel* found = target->channel(parm_name);
            if (!found) return as_string ? ExprValue::str("") : ExprValue::num(0);
            return scene_.channel_value(*target, parm_name, *found, as_string, depth_ + 1,
                                        evaluation_);
        }
        if (raw) return ExprValue::str(scene_.raw_text(*parm));
        Value v = scene_.eval_component(*parm, depth_ + 1, evaluation_);
        if (v.is_string())
            return as_string || natural_ ? ExprValue::str(v.as_string())
                                         : ExprValue::num(parse_number(v.as_string()));
        return as_string ? ExprValue::str(number_text(v.as_float())) : ExprValue::num(v.as_float());
    }

    ExprValue value(const std::string& path) override {
        natural_ = true;
        ExprValue v = channel(path, false, false);
        natural_ = false;
        return v;
    }

    std::optional<std::string> node_path(const std::string& path) override {
        std::string full = scene_.resolve_path(node_.path, path);
        if (!scene_.node(full)) return std::nullopt;
        return full;
    }

    std::optional<std::string> input_path(const std::string& path, int index) override {
        NodeData* target = scene_.node(scene_.resolve_path(node_.path, path));
        if (!target) return std::nullopt;
        for (const auto& [i, source] : target->def.inputs)
            if (i == index && !source.empty() && source[0] != '(' && source != "\"\"")
                return std::string(target->parent_path()) +
                       (target->parent_path() == "/" ? "" : "/") + source;
        return std::nullopt;
    }

private:
    Scene& scene_;
    NodeData& node_;
    int depth_;
    Evaluation& evaluation_;
    bool natural_ = false;  // value(): a text parameter stays text
};

std::vector<std::string> indx_entries(const std::string& data) {
    std::vector<std::string> names;
    for (auto& entry : indx_archive(data)) names.push_back(std::move(entry.name));
    return names;
}

namespace {

// "Sop" of "ns::Sop/name::ver".
std::string category_of(const std::string& full_type) {
    size_t slash = full_type.find('/');
    size_t ns = full_type.rfind("::", slash);
    size_t start = ns == std::string::npos ? 0 : ns + 2;
    return full_type.substr(start, slash == std::string::npos ? slash : slash - start);
}

bool is_asset_library(const std::string& name) {
    std::string lowered = ascii_lower(name);
    for (const char* ext : {".hda", ".otl", ".hdalc", ".hdanc", ".otllc", ".otlnc"})
        if (ends_with(lowered, ext)) return true;
    return false;
}

std::vector<std::string> non_empty_lines(const std::string* body) {
    std::vector<std::string> out;
    if (!body) return out;
    std::istringstream in(*body);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) out.push_back(line);
    return out;
}

}  // namespace

Scene::Scene(const std::string& path) : hip_path_(path) {
    NodeData& root = store_.emplace_back();
    root.path = "/";
    root.type = "root";
    nodes_.emplace(root.path, &root);
    order_.push_back(&root);
}

Scene::Scene(const Archive& archive, const std::string& path) : Scene(path) {
    complete(archive, path);
}

std::shared_ptr<Scene> Scene::read(const std::string& path, std::string* damage) {
    std::shared_ptr<Scene> scene(new Scene(path));
    Archive rest = read_archive(
        path, [&](const Section& section) { return scene->read_node_section(section, path); });
    *damage = rest.damage;
    scene->complete(rest, path);
    return scene;
}

void Scene::complete(const Archive& archive, const std::string& path) {
    for (const auto& section : archive.sections) read_node_section(section, path);
    link_children();
    apply_current_take(archive, path);
    read_scene_facts(archive);
    read_asset_libraries(archive);
}

NodeData& Scene::ensure_node(const std::string& node_path) {
    if (NodeData* known = node(node_path)) return *known;
    NodeData& made = store_.emplace_back();
    made.path = node_path;
    if (made.parent_path() == "/") made.type = node_path.substr(1);
    nodes_.emplace(made.path, &made);
    order_.push_back(&made);
    return made;
}

// The .init, .def, .parm and .chn sections of the nodes under the root networks.
bool Scene::read_node_section(const Section& section, const std::string& where) {
    const std::string_view name = section.name;
    if (name.empty() || name[0] == '.') return false;
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.find('/', dot) != std::string_view::npos)
        return false;
    const std::string_view kind = name.substr(dot + 1);
    if (kind != "init" && kind != "def" && kind != "parm" && kind != "chn" &&
        kind != "spareparmdef")
        return false;
    const std::string_view relative = name.substr(0, dot);
    if (!root_networks().count(relative.substr(0, relative.find('/')))) return false;
    if (!last_read_ || std::string_view(last_read_->path).substr(1) != relative)
        last_read_ = &ensure_node("/" + std::string(relative));
    NodeData& node = *last_read_;
    if (kind == "init") {
        node.type = parse_init_type(section.body);
        node.matchesdef = section.body.find("matchesdef = 1") != std::string::npos;
    } else if (kind == "def") {
        node.def = parse_def(section.body);
    } else if (kind == "spareparmdef") {
        node.own_extras().templates = parse_parm_templates(section.body);
    } else {
        read_values(node, std::string(kind), section.body, archive_name(where, section.name));
    }
    return true;
}

// A section that cannot be parsed costs its node those values only: the rest of the scene
// loads, and the damage is reported.
void Scene::read_values(NodeData& node, const std::string& kind, const std::string& body,
                        const std::string& where) {
    try {
        if (kind == "parm") {
            node.entries = parse_parms(body, where);
            node.loaded_as_now();
        } else {
            auto channels = parse_channels(body, where);
            if (!channels.empty() || node.extras) node.own_extras().channels = std::move(channels);
        }
    } catch (const ParseError& e) {
        damage_.push_back(std::string(e.what()) + " (" + node.path + " loads without its " +
                          (kind == "parm" ? "parameter values" : "channels") + ")");
    }
}

void Scene::link_children() {
    NodeData* parent = nullptr;  // siblings follow each other
    for (NodeData* node : order_) {
        if (node->path == "/") continue;
        if (!parent || parent->path != node->parent_path())
            parent = this->node(node->parent_path());
        node->parent_node = parent;
        if (parent) parent->children.push_back(node);
    }
}

// Scene variables, the saving version, the timeline and the current frame.
void Scene::read_scene_facts(const Archive& archive) {
    if (const std::string* vars = archive.find(".variables")) variables_ = parse_variables(*vars);
    for (const auto& [name, value] : variables_)
        if (name == "_HIP_SAVEVERSION") save_version = value;
    if (const std::string* start = archive.find(".start")) timeline = parse_start(*start);
    frame = std::round(timeline.tcur * timeline.fps + 1);
}

// Where the scene's asset definitions come from: fallbacks, preferences, libraries, and the
// definitions embedded in it or stubbed.
void Scene::read_asset_libraries(const Archive& archive) {
    for (const auto& line : non_empty_lines(archive.find(".OPfallbacks"))) {
        size_t space = line.find(' ');
        if (space != std::string::npos && !fallbacks_.count(line.substr(0, space)))
            fallbacks_[line.substr(0, space)] = line.substr(space + 1);
    }
    for (const auto& line : non_empty_lines(archive.find(".OPpreferences"))) {
        size_t space = line.find(' ');
        if (space != std::string::npos)
            preferences_[line.substr(0, space)] = line.substr(space + 1);
    }
    libraries_ = non_empty_lines(archive.find(".OPlibraries"));
    if (const std::string* defotl = archive.find(".defotl")) {
        embedded_ = indx_entries(*defotl);
        definitions_.add(read_definitions(*defotl, "Embedded"));
    }
    if (const std::string* dummy = archive.find(".OPdummydefs"))
        dummy_types_ = indx_entries(*dummy);
}

void Scene::apply_current_take(const Archive& archive, const std::string& path) {
    const std::string* takes_body = archive.find(".takes");
    const std::string* cwd = archive.find(".cwd");
    if (!takes_body || !cwd) return;
    std::string current = parse_current_take(*cwd);
    if (current.empty()) return;
    std::vector<Take> takes = parse_takes(*takes_body, archive_name(path, ".takes"));
    // The chain from the take below the root down to the current one; the root take's blocks
    // hold the values the nodes already have.
    std::vector<const Take*> chain;
    for (std::string name = current; !name.empty();) {
        const Take* found = nullptr;
        for (const auto& t : takes)
            if (t.name == name) found = &t;
        if (!found || found->parent.empty()) break;
        chain.insert(chain.begin(), found);
        name = found->parent;
    }
    for (const Take* take : chain) {
        for (const auto& [node_path, block] : take->overrides) {
            NodeData* target = node(node_path);
            if (!target) continue;
            for (auto& entry : parse_parms(block, archive_name(path, ".takes"))) {
                auto same = std::find_if(target->entries.begin(), target->entries.end(),
                                         [&](const ParmEntry& e) { return e.name == entry.name; });
                if (same != target->entries.end()) {
                    *same = entry;
                } else {
                    target->entries.push_back(entry);
                }
            }
            target->loaded_as_now();
        }
    }
    current_take = current;
}

NodeData* Scene::node(std::string_view path) {
    auto it = nodes_.find(path);
    return it == nodes_.end() ? nullptr : it->second;
}

bool is_resolved_path(std::string_view path) {
    if (path.size() < 2 || path[0] != '/') return false;
    for (size_t start = 1; start <= path.size();) {
        size_t slash = std::min(path.find('/', start), path.size());
        std::string_view part = path.substr(start, slash - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = slash + 1;
    }
    return true;
}

std::string Scene::resolve_path(const std::string& from, const std::string& relative) const {
    if (relative.empty() || relative == ".") return from;
    if (is_resolved_path(relative)) return relative;
    std::vector<std::string_view> parts;
    auto push_all = [&](std::string_view p) {
        while (!p.empty()) {
            size_t slash = p.find('/');
            std::string_view part = p.substr(0, slash);
            p.remove_prefix(slash == std::string_view::npos ? p.size() : slash + 1);
            if (part.empty() || part == ".") continue;
            if (part == "..") {
                if (!parts.empty()) parts.pop_back();
            } else {
                parts.push_back(part);
            }
        }
    };
    if (relative[0] != '/') push_all(from);
    push_all(std::string_view(relative).substr(relative[0] == '/' ? 1 : 0));
    std::string out;
    for (const auto& p : parts) (out += '/') += p;
    return out.empty() ? "/" : out;
}

const ParmTemplate* Scene::template_of(const NodeData& node, const std::string& tuple) const {
    if (node.extras) {
        auto spare = node.extras->templates.find(tuple);
        if (spare != node.extras->templates.end()) return &spare->second;
    }
    if (node.definition) {
        auto defined = node.definition->find(tuple);
        if (defined != node.definition->end()) return &defined->second;
    }
    return builtin_template(node.type, tuple);
}

std::vector<std::string> Scene::component_names(const NodeData& node,
                                                const ParmEntry& entry) const {
    size_t size = entry.components.size();
    if (size <= 1) return {entry.name};
    // The template, where one is known, names the components as the host does.
    if (const ParmTemplate* known = template_of(node, entry.name)) {
        std::vector<std::string> suffixes = component_suffixes(*known);
        if (suffixes.size() >= size) {
            std::vector<std::string> names;
            for (size_t i = 0; i < size; ++i) names.push_back(entry.name + suffixes[i]);
            return names;
        }
    }
    // A channel name shows which scheme this tuple uses.
    const std::vector<std::string>* scheme = &scheme_for(entry.name, size);
    static const std::vector<std::vector<std::string>> schemes{{"x", "y", "z", "w"},
                                                               {"r", "g", "b", "a"},
                                                               {"min", "max"},
                                                               {"u", "v", "w"},
                                                               {"1", "2", "3", "4"}};
    for (size_t i = 0; i < size; ++i) {
        const auto& c = entry.components[i];
        if (c.kind != Component::Channel || c.channel.rfind(entry.name, 0) != 0) continue;
        std::string suffix = c.channel.substr(entry.name.size());
        for (const auto& s : schemes)
            if (i < s.size() && s[i] == suffix && size <= s.size()) scheme = &s;
    }
    std::vector<std::string> names;
    for (size_t i = 0; i < size; ++i)
        names.push_back(entry.name + (i < scheme->size() ? (*scheme)[i] : std::to_string(i + 1)));
    return names;
}

std::vector<ParmRef> Scene::parms(NodeData& node) {
    std::vector<ParmRef> out;
    for (size_t e = 0; e < node.entries.size(); ++e) {
        auto names = component_names(node, node.entries[e]);
        for (size_t c = 0; c < node.entries[e].components.size(); ++c)
            out.push_back(ParmRef{&node, e, c, names[c]});
    }
    return out;
}

std::optional<ParmRef> Scene::parm(NodeData& node, const std::string& name) {
    for (size_t e = 0; e < node.entries.size(); ++e) {
        const auto& entry = node.entries[e];
        if (entry.components.size() == 1 && entry.name == name) return ParmRef{&node, e, 0, name};
        if (entry.components.size() > 1 && name.rfind(entry.name, 0) == 0) {
            auto names = component_names(node, entry);
            for (size_t c = 0; c < names.size(); ++c)
                if (names[c] == name) return ParmRef{&node, e, c, name};
        }
    }
    return unsaved_parm(node, name);
}

// A parameter the scene did not save reads as its template's default, as in the host.
std::optional<ParmRef> Scene::unsaved_parm(NodeData& node, const std::string& name) {
    if (const ParmTemplate* known = template_of(node, name); known && known->size == 1) {
        if (!add_default_entry(node, name, *known)) return std::nullopt;
        return ParmRef{&node, node.entries.size() - 1, 0, name};
    }
    // A component of a tuple: the tuple's name is the component's without its suffix.
    for (size_t cut = 1; cut <= 3 && cut < name.size(); ++cut) {
        std::string tuple = name.substr(0, name.size() - cut);
        const ParmTemplate* known = template_of(node, tuple);
        if (!known || known->size < 2) continue;
        std::vector<std::string> suffixes = component_suffixes(*known);
        for (size_t c = 0; c < known->size && c < suffixes.size(); ++c) {
            if (tuple + suffixes[c] != name) continue;
            if (!add_default_entry(node, tuple, *known)) return std::nullopt;
            return ParmRef{&node, node.entries.size() - 1, c, name};
        }
    }
    return std::nullopt;
}

bool Scene::add_default_entry(NodeData& node, const std::string& tuple, const ParmTemplate& known) {
    if (known.defaults.size() != known.size) return false;
    ParmEntry entry;
    entry.name = tuple;
    for (std::string value : known.defaults) {
        // A numeric default written as a variable ($FSTART) is the variable's value now; a path
        // ($HIP/tex/a.png) is expanded when it is read, as any text.
        if (holds_numbers(known) && value.size() > 1 && value[0] == '$') {
            std::optional<std::string> now = variable(value.substr(1), &node);
            if (!now) return false;
            value = *now;
        }
        bool numeric =
            !value.empty() && value.find_first_not_of("-+0123456789.eE") == std::string::npos;
        Component c;
        c.kind = numeric ? Component::Number : Component::Quoted;
        c.text = std::move(value);
        entry.components.push_back(std::move(c));
    }
    node.entries.push_back(std::move(entry));
    return true;
}

std::optional<size_t> Scene::tuple(NodeData& node, const std::string& name) {
    for (size_t e = 0; e < node.entries.size(); ++e)
        if (node.entries[e].name == name) return e;
    const ParmTemplate* known = template_of(node, name);
    if (known && add_default_entry(node, name, *known)) return node.entries.size() - 1;
    return std::nullopt;
}

std::optional<std::string> Scene::variable(const std::string& name, const NodeData* node) {
    const double fps = timeline.fps;
    if (name == "F" || name == "SF") return number_text(std::round(frame));
    if (name == "FF") return number_text(frame);
    if (name.size() > 1 && name[0] == 'F' &&
        name.find_first_not_of("0123456789", 1) == std::string::npos) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%0*lld", std::atoi(name.c_str() + 1),
                      static_cast<long long>(std::llround(frame)));
        return std::string(buf);
    }
    if (name == "T") return number_text((frame - 1) / fps);
    if (name == "FPS") return number_text(fps);
    if (name == "FSTART") return number_text(std::round(timeline.tstart * fps + 1));
    if (name == "FEND") return number_text(std::round(timeline.tend * fps));
    if (name == "NFRAMES")
        return number_text(std::round(timeline.tend * fps) - std::round(timeline.tstart * fps + 1) +
                           1);
    if (name == "TSTART") return number_text(timeline.tstart);
    if (name == "TEND") return number_text(timeline.tend);
    if (name == "RFSTART") return number_text(timeline.rfstart);
    if (name == "RFEND") return number_text(timeline.rfend);
    if (name == "OS" && node) return node->path.substr(node->path.rfind('/') + 1);
    // The scene's location is where it was loaded from, whatever it recorded when saved.
    if (name == "HIP") return dirname(hip_path_, Flavour{false});
    if (name == "HIPFILE") return hip_path_;
    if (name == "HIPNAME") {
        std::string base = basename(hip_path_, Flavour{false});
        return base.substr(0, base.rfind('.') == std::string::npos ? base.size() : base.rfind('.'));
    }
    for (const auto& [n, v] : variables_)
        if (n == name) return v;
    return environment_.get(name);
}

ExprValue Scene::channel_value(NodeData& node, const std::string& name, const Channel& ch,
                               bool as_string, int depth, Evaluation& evaluation) {
    DepthGuard guard(depth, evaluation.budget);
    (void)name;
    if (ch.segments.empty()) {
        if (ch.default_string) return ExprValue::str(*ch.default_string);
        return ExprValue::num(ch.default_value.value_or(0));
    }
    double t = (frame - 1) / timeline.fps;
    double seg_start = ch.start;
    const Segment* seg = &ch.segments.back();
    double local = 0;
    for (const auto& s : ch.segments) {
        if (t < seg_start + s.length || &s == &ch.segments.back()) {
            seg = &s;
            local = t - seg_start;
            break;
        }
        seg_start += s.length;
    }
    if (interpolation(seg->expr)) {
        if (seg->value.empty()) return ExprValue::num(ch.default_value.value_or(0));
        double v0 = seg->value[0], v1 = seg->value.size() > 1 ? seg->value[1] : v0;
        if (seg->expr == "constant()" || seg->length <= 0 || local <= 0) return ExprValue::num(v0);
        if (local >= seg->length) return ExprValue::num(v1);
        double u = local / seg->length;
        const std::string& shape = seg->expr;
        if (shape == "bezier()" || shape == "cubic()" || shape == "spline()") {
            // A cubic between the two keys with their slopes (Hermite form).
            double m0 = seg->slope.size() > 0 ? seg->slope[0] : 0;
            double m1 = seg->slope.size() > 1 ? seg->slope[1] : m0;
            double u2 = u * u, u3 = u2 * u;
            return ExprValue::num((2 * u3 - 3 * u2 + 1) * v0 +
                                  (u3 - 2 * u2 + u) * seg->length * m0 + (-2 * u3 + 3 * u2) * v1 +
                                  (u3 - u2) * seg->length * m1);
        }
        if (shape == "ease()" || shape == "easep()") u = u * u * (3 - 2 * u);
        if (shape == "easein()" || shape == "easeinp()") u = u * u;
        if (shape == "easeout()" || shape == "easeoutp()") u = 1 - (1 - u) * (1 - u);
        return ExprValue::num(v0 + (v1 - v0) * u);  // linear and the remaining shapes
    }
    std::string language = seg->language;
    if (language.empty() && !node.def.exprlanguage.empty()) language = node.def.exprlanguage;
    Scope scope(*this, node, depth, evaluation);
    ExprValue v =
        language == "python" ? evaluate_python(seg->expr, scope) : evaluate(seg->expr, scope);
    if (as_string) return ExprValue::str(v.as_text());
    return v;
}

Value Scene::eval_component(const ParmRef& parm, int depth, Evaluation& evaluation) {
    DepthGuard guard(depth, evaluation.budget);
    const ParmEntry& entry = parm.node->entries[parm.entry];
    const Component& c = entry.components[parm.component];
    if (auto known = evaluation.values.find(&c); known != evaluation.values.end())
        return known->second;
    Value v = component_value(parm, depth, evaluation);
    evaluation.values.emplace(&c, v);
    return v;
}

Value Scene::component_value(const ParmRef& parm, int depth, Evaluation& evaluation) {
    const ParmEntry& entry = parm.node->entries[parm.entry];
    const Component& c = entry.components[parm.component];
    // A float parameter gives a float even when its value was saved without a fraction.
    auto number = [&](const std::string& text) {
        const ParmTemplate* known = template_of(*parm.node, entry.name);
        return known && holds_floats(*known) ? Value::real(parse_number(text)) : number_value(text);
    };
    switch (c.kind) {
        case Component::Number:
            return number(c.text);
        case Component::Channel: {
            const Channel* found = parm.node->channel(c.channel);
            if (!found) {
                // No channel saved: the value the scene cached is all there is.
                return c.text.find_first_not_of("-0123456789.e") == std::string::npos &&
                               !c.text.empty()
                           ? number(c.text)
                           : Value::text(c.text);
            }
            bool as_string = found->default_string.has_value();
            ExprValue v =
                channel_value(*parm.node, c.channel, *found, as_string, depth, evaluation);
            if (v.is_string) return Value::text(v.text);
            return Value::real(v.number);
        }
        case Component::Quoted: {
            if (const ParmTemplate* menu = menu_of(*parm.node, entry.name)) {
                for (size_t i = 0; i < menu->menu_tokens.size(); ++i)
                    if (menu->menu_tokens[i] == c.text)
                        return Value::integer(static_cast<long long>(i));
            }
            if (c.text == "on") return Value::integer(1);
            if (c.text == "off") return Value::integer(0);
            Scope scope(*this, *parm.node, depth, evaluation);
            return Value::text(expand(c.text, scope));
        }
        case Component::Bare: {
            Scope scope(*this, *parm.node, depth, evaluation);
            return Value::text(expand(c.text, scope));
        }
    }
    return Value();
}

Value Scene::eval(const ParmRef& parm) {
    try {
        Evaluation evaluation;
        return eval_component(parm, 0, evaluation);
    } catch (const ExprError& e) {
        std::string raw;
        try {
            raw = raw_text(parm);
        } catch (const std::exception&) {
        }
        throw HostError(std::string(e.what()) + " (expression " + raw + ")", "hou.OperationFailed",
                        parm.node->path, parm.node->path + "/" + parm.name);
    }
}

void Scene::set_component(const ParmRef& parm, Component::Kind kind, std::string text) {
    NodeData& node = *parm.node;
    Component& c = node.entries[parm.entry].components[parm.component];
    if (parm.entry < node.loaded) {
        if (!c.changed) {
            c.changed = true;
            c.loaded_kind = c.kind;
        }
        // Only a loaded text the component no longer holds is kept apart: the scan sets most
        // parameters back to their own text, and a scene of a million holds each text once.
        const auto key = std::make_tuple(parm.node, parm.entry, parm.component);
        auto kept = loaded_texts_.find(key);
        if (kept == loaded_texts_.end()) {
            if (c.text != text || !c.channel.empty())
                loaded_texts_.emplace(key, LoadedText{std::move(c.text), std::move(c.channel)});
        } else if (kept->second.channel.empty() && kept->second.text == text) {
            text = std::move(kept->second.text);
            loaded_texts_.erase(kept);
        }
    }
    c.kind = kind;
    c.text = std::move(text);
    c.channel.clear();
}

void Scene::revert_component(const ParmRef& parm) {
    Component& c = parm.node->entries[parm.entry].components[parm.component];
    if (!c.changed) return;
    auto kept = loaded_texts_.find(std::make_tuple(parm.node, parm.entry, parm.component));
    if (kept != loaded_texts_.end()) {
        c.text = std::move(kept->second.text);
        c.channel = std::move(kept->second.channel);
        loaded_texts_.erase(kept);
    }
    c.kind = c.loaded_kind;
    c.changed = false;
}

std::string Scene::raw_text(const ParmRef& parm) {
    const Component& c = parm.node->entries[parm.entry].components[parm.component];
    if (c.kind != Component::Channel) return c.text;
    const Channel* found = parm.node->channel(c.channel);
    if (!found) return c.text;
    const Channel& ch = *found;
    if (ch.segments.size() != 1 || interpolation(ch.segments[0].expr))
        throw HostError("The parameter has keyframes: " + parm.node->path + "/" + parm.name,
                        "hou.OperationFailed", parm.node->path, parm.node->path + "/" + parm.name);
    std::string expr = ch.segments[0].expr;
    // A single string literal is the parameter's text.
    if (expr.size() >= 2 && expr.front() == '"' && expr.back() == '"' &&
        expr.find('"', 1) == expr.size() - 1)
        return expr.substr(1, expr.size() - 2);
    return expr;
}

std::optional<ParmRef> Scene::referenced(const ParmRef& parm) {
    std::string text;
    try {
        text = raw_text(parm);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (text.size() >= 2 && text.front() == '`' && text.back() == '`')
        text = text.substr(1, text.size() - 2);
    for (const char* fn : {"chs(", "ch(", "chsraw(", "chf("}) {
        if (text.rfind(fn, 0) != 0 || text.back() != ')') continue;
        std::string arg =
            text.substr(std::string(fn).size(), text.size() - std::string(fn).size() - 1);
        if (arg.size() < 2 || (arg.front() != '"' && arg.front() != '\'') ||
            arg.back() != arg.front())
            return std::nullopt;
        arg = arg.substr(1, arg.size() - 2);
        size_t slash = arg.rfind('/');
        std::string node_path = slash == std::string::npos
                                    ? parm.node->path
                                    : resolve_path(parm.node->path, arg.substr(0, slash));
        NodeData* target = node(node_path);
        if (!target) return std::nullopt;
        return this->parm(*target, slash == std::string::npos ? arg : arg.substr(slash + 1));
    }
    return std::nullopt;
}

std::string Scene::full_type(const NodeData& node, bool* guessed) {
    // The category comes from the network the node sits in.
    std::string parent_type;
    std::string top;
    const std::string_view parent_path = node.parent_path();
    if (const NodeData* parent = this->node(parent_path)) parent_type = parent->type;
    top = node.path.substr(1, node.path.find('/', 1) - 1);
    std::string category;
    if (parent_path == "/obj" || (parent_type == "subnet" && top == "obj")) category = "Object";
    if (parent_type == "geo" || parent_type == "sopnet" || parent_type == "filecache::2.0")
        category = "Sop";
    if (parent_path == "/out" || parent_type == "ropnet") category = "Driver";
    if (parent_path == "/stage" || parent_type == "lopnet") category = "Lop";
    if (parent_path == "/tasks" || parent_type == "topnet") category = "Top";
    if (parent_path == "/mat" || parent_type == "matnet") category = "Vop";
    if (parent_type == "dopnet") category = "Dop";
    if (parent_path == "/img" || parent_type == "cop2net") category = "Cop2";
    if (parent_path == "/ch" || parent_type == "chopnet") category = "Chop";
    if (parent_path == "/shop" || parent_type == "shopnet") category = "Shop";
    if (guessed) *guessed = category.empty();
    if (category.empty())
        category = top == "obj"     ? "Sop"
                   : top == "out"   ? "Driver"
                   : top == "stage" ? "Lop"
                                    : "Object";
    // "ns::name::ver" is written "ns::Category/name::ver".
    const std::string& type = node.type;
    size_t ns = type.find("::");
    // "ns::name::ver" and "ns::name" carry a namespace; "name::2.0" only a version.
    bool namespaced = ns != std::string::npos &&
                      (type.find("::", ns + 2) != std::string::npos ||
                       type.substr(ns + 2).find_first_not_of("0123456789.") != std::string::npos);
    if (namespaced) return type.substr(0, ns + 2) + category + "/" + type.substr(ns + 2);
    return category + "/" + type;
}

std::optional<std::string> Scene::library_of(const NodeData& node) {
    const std::string full = full_type(node);
    const std::string lowered_category = ascii_lower(category_of(full));
    auto contains = [](const std::vector<std::string>& v, const std::string& s) {
        for (const auto& x : v)
            if (x == s) return true;
        return false;
    };
    if (contains(embedded_, full)) return std::string("Embedded");
    // Most nodes are of the host's compiled types, named nowhere here.
    if (!preferences_.count(full) && !fallbacks_.count(full) &&
        (libraries_.empty() || !contains(dummy_types_, full)))
        return std::nullopt;
    // Library paths are saved as typed ($HIP/otls/x.hda); the host reports them expanded.
    Evaluation evaluation;
    Scope scope(*this, *this->node("/"), 0, evaluation);
    if (auto p = preferences_.find(full); p != preferences_.end()) return expand(p->second, scope);
    if (auto f = fallbacks_.find(full); f != fallbacks_.end()) return expand(f->second, scope);
    if (contains(dummy_types_, full) && !libraries_.empty()) {
        for (const auto& lib : libraries_) {
            std::string path = expand(lib, scope);
            const std::vector<std::string>* types = library_types(path);
            if (types && contains(*types, full)) return path;
        }
        // None could be read: a library named after the category is the likelier one.
        for (const auto& lib : libraries_)
            if (ascii_lower(basename(lib, Flavour{false})).find(lowered_category) !=
                std::string::npos)
                return expand(lib, scope);
        return expand(libraries_.front(), scope);
    }
    return std::nullopt;
}

std::vector<std::string> Scene::menu_labels(const ParmRef& parm) {
    const ParmTemplate* menu = menu_of(*parm.node, parm.node->entries[parm.entry].name);
    return menu ? menu->menu_labels : std::vector<std::string>{};
}

const ParmTemplate* Scene::menu_of(const NodeData& node, const std::string& tuple) const {
    const ParmTemplate* known = template_of(node, tuple);
    if (known && !known->menu_tokens.empty()) return known;
    auto generic = menus_by_name().find(tuple);
    return generic == menus_by_name().end() ? nullptr : &generic->second;
}

bool Scene::inside_locked_asset(const NodeData& node) {
    // Through the parents' pointers: looking each ancestor up by its path would hash paths as
    // long as the nesting is deep, for every ancestor of every node.
    for (const NodeData* n = node.parent_node; n; n = n->parent_node)
        if (n->matchesdef) return true;
    return false;
}

void Scene::expand_assets(const Confinement* confinement) {
    // A scene that uses no asset says so in its sections: nothing names a library or a type.
    if (embedded_.empty() && dummy_types_.empty() && fallbacks_.empty() && preferences_.empty() &&
        definitions_.size() == 0)
        return;
    // Instances found in contents are expanded in turn, each as deep as its nesting allows: a
    // definition that contains an instance of itself ends there.
    std::vector<std::pair<NodeData*, size_t>> todo;
    for (NodeData* n : order_) todo.emplace_back(n, 0);
    for (size_t i = 0; i < todo.size(); ++i) {
        NodeData* instance = todo[i].first;
        if (instance->parent_path().empty() || instance->parent_path() == "/") continue;
        std::optional<std::string> library = library_of(*instance);
        if (!library && !known_definition(*instance)) continue;
        ++asset_figures_.instances;
        const AssetDefinition* definition = definition_of(*instance, library, confinement);
        if (!definition) continue;
        ++asset_figures_.definitions_found;
        instance->definition = &definition->templates;
        if (!instance->matchesdef || definition->contents.empty()) continue;
        if (todo[i].second >= budget::kAssetNesting ||
            asset_figures_.nodes_inside >= budget::kAssetNodes) {
            damage_.push_back(instance->path + ": the contents of " + definition->type +
                              " are not read: assets nest deeper than " +
                              std::to_string(budget::kAssetNesting) + " levels or make more than " +
                              std::to_string(budget::kAssetNodes) + " nodes");
            continue;
        }
        std::vector<NodeData*> made = add_contents(*instance, *definition);
        if (made.empty()) continue;
        ++asset_figures_.expanded;
        asset_figures_.nodes_inside += made.size();
        for (NodeData* n : made) todo.emplace_back(n, todo[i].second + 1);
    }
}

std::vector<NodeData*> Scene::add_contents(NodeData& instance, const AssetDefinition& definition) {
    Archive contents = contents_archive(definition);
    if (!contents.damage.empty()) damage_.push_back(contents.damage);
    // The sections below "hdaroot/" are the instance's children and their descendants.
    Archive children;
    const std::string prefix = "hdaroot/";
    const std::string at = instance.path.substr(1) + "/";
    for (auto& section : contents.sections) {
        if (section.name.compare(0, prefix.size(), prefix) != 0) continue;
        std::string name = at + section.name.substr(prefix.size());
        // A node the scene saved (an editable node of the asset) keeps what was saved.
        size_t dot = name.rfind('.');
        if (dot != std::string::npos && node("/" + name.substr(0, dot))) continue;
        children.sections.push_back(Section{std::move(name), std::move(section.body)});
    }
    const size_t before = order_.size();
    for (const auto& section : children.sections) read_node_section(section, definition.source);
    std::vector<NodeData*> made(order_.begin() + static_cast<std::ptrdiff_t>(before), order_.end());
    // The nodes take their place after the instance, depth first as if saved there.
    auto place =
        std::find(order_.begin(), order_.begin() + static_cast<std::ptrdiff_t>(before), &instance);
    if (place != order_.begin() + static_cast<std::ptrdiff_t>(before))
        std::rotate(place + 1, order_.begin() + static_cast<std::ptrdiff_t>(before), order_.end());
    for (NodeData* made_node : made) {
        made_node->from_definition = true;
        made_node->parent_node = node(made_node->parent_path());
        if (made_node->parent_node) made_node->parent_node->children.push_back(made_node);
    }
    return made;
}

const AssetDefinition* Scene::known_definition(const NodeData& node) {
    bool guessed = false;
    const std::string full = full_type(node, &guessed);
    // A network whose category is not known may hold a type that only one category defines.
    return definitions_.find(full, guessed ? node.type : std::string());
}

const AssetDefinition* Scene::definition_of(const NodeData& node,
                                            const std::optional<std::string>& library,
                                            const Confinement* confinement) {
    if (const AssetDefinition* known = known_definition(node)) return known;
    // The library the scene says holds it, then every library it can see.
    if (library && *library != "Embedded") read_library(*library, confinement);
    if (const AssetDefinition* known = known_definition(node)) return known;
    read_searched_libraries(confinement);
    return known_definition(node);
}

// Each library is read once per scene, however many instances ask which types it holds.
const std::vector<std::string>* Scene::library_types(const std::string& path) {
    auto known = library_types_.find(path);
    if (known == library_types_.end()) {
        std::string why;
        std::optional<std::string> data = os::read_file(path, &why);
        known = library_types_.emplace(path, std::nullopt).first;
        if (data) known->second = indx_entries(*data);
    }
    return known->second ? &*known->second : nullptr;
}

void Scene::read_library(const std::string& path, const Confinement* confinement) {
    if (!libraries_read_.insert(path).second) return;
    if (confinement) {
        std::optional<std::string> real = os::real_path(path);
        if (!real || !confinement->admits_real(*real)) return;
    }
    std::string why;
    std::optional<std::string> data = os::read_file(path, &why);
    if (data) definitions_.add(read_definitions(*data, path));
}

void Scene::read_searched_libraries(const Confinement* confinement) {
    if (searched_libraries_read_) return;
    searched_libraries_read_ = true;
    for (const auto& path : searched_library_files(confinement)) read_library(path, confinement);
}

// The libraries the scene installed, those in its own otls/ and hda/ folders, and those in the
// folders of the asset search path.
std::vector<std::string> Scene::searched_library_files(const Confinement* confinement) {
    Evaluation evaluation;
    Scope scope(*this, *this->node("/"), 0, evaluation);
    std::vector<std::string> files;
    for (const auto& lib : libraries_) files.push_back(expand(lib, scope));
    const std::string hip = dirname(hip_path_, Flavour{false});
    std::vector<std::string> folders{hip + "/otls", hip + "/hda"};
    if (std::optional<std::string> scan = variable("HOUDINI_OTLSCAN_PATH", nullptr)) {
        const Flavour native = native_flavour();
        size_t start = 0;
        while (start <= scan->size()) {
            size_t end = scan->find(native.path_list_separator(), start);
            std::string folder = scan->substr(start, end == std::string::npos ? end : end - start);
            // "&" and "@" stand for the host's own folders, which are not here.
            if (!folder.empty() && folder != "&" && folder[0] != '@') folders.push_back(folder);
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
    for (const auto& folder : folders) {
        if (confinement) {
            std::optional<std::string> real = os::real_path(folder);
            if (!real || !confinement->admits_real(*real)) continue;
        }
        std::vector<std::string> names;
        os::list_directory(folder, [&](const os::DirItem& item) {
            if (item.kind == os::Kind::File && is_asset_library(std::string(item.name)))
                names.emplace_back(item.name);
        });
        std::sort(names.begin(), names.end());
        for (const auto& name : names) files.push_back(folder + "/" + name);
    }
    return files;
}

}  // namespace scanflow::hip
