#include "scan/param_scan.h"

#include <algorithm>
#include <set>
#include <unordered_set>

#include "entry/console.h"
#include "entry/errors.h"
#include "entry/state.h"
#include "entry/timed.h"
#include "host/host.h"
#include "render/gpu.h"
#include "scan/sequence.h"
#include "usd/facade.h"
#include "util/exclusions.h"
#include "util/flavour.h"
#include "util/paths.h"

namespace scanflow {

namespace {

const std::unordered_set<std::string>& skipped_parms() {
    static const std::unordered_set<std::string> names{"prerender",  "preframe", "postframe",
                                                       "postrender", "snippet",  "imageOutput"};
    return names;
}

const std::unordered_set<std::string>& skipped_types() {
    static const std::unordered_set<std::string> names{"Redshift_ROP",
                                                       "ifd",
                                                       "oct_mantra",
                                                       "arnold",
                                                       "ris::22",
                                                       "ris::3.0",
                                                       "denoise::3.0",
                                                       "baketexture::3.0",
                                                       "usdrender",
                                                       "karma",
                                                       "usdrender_rop",
                                                       "usd_rop",
                                                       "Octane_ROP",
                                                       "rop_alembic",
                                                       "rop_geometry",
                                                       "rop_fbx",
                                                       "geometry",
                                                       "ifdarchive",
                                                       "ribarchive",
                                                       "usd",
                                                       "dop",
                                                       "hq_render",
                                                       "hq_sim",
                                                       "alf",
                                                       "rop_dop",
                                                       "usdexport",
                                                       "output",
                                                       "opengl",
                                                       "snippet",
                                                       "hdprman",
                                                       "karmarenderproperties",
                                                       "karmarendersettings",
                                                       "hdprmanrenderproperties",
                                                       "renderproduct",
                                                       "FX_mantra_",
                                                       "vray_renderer",
                                                       "rop_vrayproxy",
                                                       "color",
                                                       "primuv",
                                                       "mayaserver",
                                                       "bind",
                                                       "subnet",
                                                       "moge_rendersetting::1.0",
                                                       "Redshift_Proxy_Output",
                                                       "redshift::1.1",
                                                       "arnold_rendersettings"};
    return names;
}

const std::set<std::string>& cache_types() {
    static const std::set<std::string> names{
        "filecache",    "dopio", "filecache::2.0", "labs::filecache::2.0", "labs::filecache::1.0",
        "vellumio::2.0"};
    return names;
}

std::vector<NodePtr> sublayer_ancestors(Node& node) {
    std::vector<NodePtr> out;
    for (auto& ancestor : node.inputAncestors())
        if (ancestor->type_name() == "sublayer") out.push_back(ancestor);
    return out;
}

void prepare_setvariant(Node& node) {
    for (auto& sublayer : sublayer_ancestors(node)) {
        long long count = node.evalParm("num_variants").as_int();
        Json layer = Json::object();
        Json variants = Json::object();
        for (long long o = 1; o <= count; ++o) {
            std::string usd_path = sublayer->evalParm("filepath1").str();
            std::string slot = std::to_string(o);
            Json selection = Json::object();
            selection["variantset"] = value_json(node.evalParm("variantset" + slot));
            selection["variantname"] = value_json(node.evalParm("variantname" + slot));
            variants[node.evalParm("primpattern" + slot).str()] = selection;
            layer[usd_path] = variants;
        }
        state().need_varian_usd.push_back(layer);
    }
}

void prepare_stagemanager(Node& node) {
    node.setSelected(true, true);
    try {
        if (has_gpu()) host().setUpdateMode(UpdateMode::OnMouseUp);
        (void)node.stage();
        host().setUpdateMode(UpdateMode::Manual);
    } catch (const std::exception&) {
        // The cook only helps the host; the layers are read from their files below.
    }
    for (auto& sublayer : sublayer_ancestors(node)) {
        std::string stage_file = sublayer->evalParm("filepath1").str();
        if (stage_file.empty()) continue;
        console::print("bbbbb" + stage_file);
        Json layer = Json::object();
        Json variants = Json::object();
        for (const auto& [set_name, selection] : usd().variant_selections(stage_file)) {
            variants[set_name] = selection;
            layer[stage_file] = variants;
        }
        state().need_varian_usd.push_back(layer);
    }
}

void prepare_distributed_sim(Node& node) {
    ParmPtr output = node.parm("sopoutput");
    if (!output) throw HostError("no parameter sopoutput", "hou.OperationFailed", node.path());
    host().setFrame(1);
    std::string first = output->eval().str();
    host().setFrame(2);
    std::string second = output->eval().str();
    if (first == second) return;
    output->set(Value::text(frame_pattern(first, second)));
}

bool value_is_zero(const Value& v) {
    return v.is_number() && v.as_float() == 0.0;
}

// Applies the per-type preparations; false when the node's parameters are not examined.
bool prepare(Node& node) {
    const std::string type = node.type_name();
    if (type == "setvariant") prepare_setvariant(node);
    if (type == "stagemanager") prepare_stagemanager(node);
    if (type == "rendersettings" || type == "arnold_rendersettings") {
        if (ParmPtr p = node.parm("xn__arnoldglobaltexture_searchpath_xpbg"))
            state().texture_searchpaths.insert(slashes_forward(p->eval().str()));
    }
    if (type == "instance") state().instance_flag = true;
    if (type == "filecache::2.0") node.allowEditingOfContents();
    if (skipped_types().count(type)) return false;
    if (type == "alembic" && node.parm("execute")) return false;
    if (cache_types().count(type) && value_is_zero(node.evalParm("loadfromdisk"))) return false;
    if (type == "geo") {
        ParmPtr proxy = node.parm("RS_objprop_proxy_enable");
        if (proxy && value_is_zero(proxy->eval())) return false;
        if (node.parm("ar_vdb_file")) return false;
    }
    if (type == "HQ_Sim_Deadline::1.0") prepare_distributed_sim(node);
    return true;
}

std::string list_repr(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + items[i];
    return out + "]";
}

}  // namespace

std::string frame_pattern(const std::string& first, const std::string& second) {
    auto runs = [](const std::string& text) {
        std::vector<std::string> out;
        for (size_t i = 0; i < text.size();) {
            if (text[i] < '0' || text[i] > '9') {
                ++i;
                continue;
            }
            size_t start = i;
            while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
            out.push_back(text.substr(start, i - start));
        }
        return out;
    };
    auto a = runs(first), b = runs(second);
    std::string result, rest = first;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        if (a[i] == b[i]) continue;
        size_t at = rest.find(a[i]);
        if (at == std::string::npos)
            throw Error(
                "not enough values to unpack: '" + a[i] + "' is no longer in '" + rest + "'",
                "ValueError");
        result += rest.substr(0, at) + "*";
        rest = rest.substr(at + a[i].size());
    }
    return result + rest;
}

bool is_file_reference(const std::string& value, std::string* cleaned) {
    if (value.empty()) return false;
    std::string text = slashes_forward(value);
    if (text.find('/') == std::string::npos) return false;
    size_t b = text.find_first_not_of("\"'");
    size_t e = text.find_last_not_of("\"'");
    text = b == std::string::npos ? "" : text.substr(b, e - b + 1);
    Flavour f = current_flavour();
    if (!fnmatch(text, "[A-Z]:/*", f) && !fnmatch(text, "//*", f) && !fnmatch(text, "/*", f))
        return false;
    std::string base = basename(text, f);
    auto [stem, ext] = splitext(base, f);
    if (base.empty() || stem.empty() || ext.empty()) return false;
    if (cleaned) *cleaned = text;
    return true;
}

void analysis_assetsChecking() {
    timed(1, "analysis_assetsChecking", [] {
        ModuleState& s = state();
        // Phase 1: the nodes, each once, those inside locked assets reported by their library.
        std::vector<NodePtr> nodes;
        std::unordered_set<std::string> seen;
        NodePtr root = host().node("/");
        if (!root) throw HostError("the scene has no root node", "hou.OperationFailed", "/");
        for (auto& child : root->allSubChildren()) {
            if (child->isInsideLockedHDA()) {
                get_otls(*child);
                continue;
            }
            NodePtr node = host().node(child->path());
            if (node && seen.insert(node->path()).second) nodes.push_back(node);
        }
        if (host().has_takes()) {
            host().hscript("takeautomode on");
            console::print("takeautomode on");
        }
        // Phases 2 and 3: preparations, then every parameter of the nodes that remain.
        std::vector<ParmPtr> collected;
        for (auto& node : nodes) {
            if (!prepare(*node)) continue;
            for (auto& parm : node->parms()) {
                if (skipped_parms().count(parm->name())) continue;
                try {
                    Value value = parm->eval();
                    if (!value.is_string()) continue;
                    if (!is_file_reference(value.as_string(), nullptr)) continue;
                    clear_special_setting(*parm);
                    collected.push_back(parm);
                } catch (const std::exception&) {
                    std::string path = node->path();
                    auto& problems = s.problem_nodes_list;
                    if (std::find(problems.begin(), problems.end(), path) == problems.end())
                        problems.push_back(path);
                }
            }
        }
        // Phase 4: the patterns, and the report.
        std::vector<std::string> shown;
        for (auto& parm : collected) shown.push_back(parm_repr(*parm));
        console::print("all parm path list is " + list_repr(shown));
        console::flush();
        for (auto& parm : collected) RY_GetSequen(*parm);
        console::print("all node if is: " + py_repr(s.GLOBAL_ALL_ORIGINOL_JSON));
        Json all = s.GLOBAL_ALL_ORIGINOL_LIST;
        console::print("all assets is : " + py_repr(all));
        Json problems = s.problem_nodes_list;
        console::print("problem nodes is : " + py_repr(problems));
        console::print("[analysis_assets finished]");
    });
}

}  // namespace scanflow
