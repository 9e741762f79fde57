#include "scan/node_preparation.h"

#include <algorithm>
#include <unordered_set>

#include "base/console.h"
#include "base/errors.h"
#include "base/text.h"
#include "render/geometry_outputs.h"

namespace scanflow {

namespace {

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

std::vector<NodePtr> sublayer_ancestors(Node& node) {
    std::vector<NodePtr> out;
    for (auto& ancestor : node.inputAncestors())
        if (ancestor->type_name() == "sublayer") out.push_back(ancestor);
    return out;
}

void prepare_setvariant(Node& node, ModuleState& module) {
    for (auto& sublayer : sublayer_ancestors(node)) {
        long long count = node.evalParm("num_variants").as_int();
        LayerVariants layer;
        for (long long o = 1; o <= count; ++o) {
            std::string usd_path = sublayer->evalParm("filepath1").str();
            std::string slot = std::to_string(o);
            RecordedVariant selection;
            selection.key = node.evalParm("primpattern" + slot).str();
            selection.for_prims = true;
            selection.variantset = node.evalParm("variantset" + slot);
            selection.variantname = node.evalParm("variantname" + slot);
            layer.record(std::move(selection));
            layer.layer = usd_path;
        }
        module.need_varian_usd.push_back(std::move(layer));
    }
}

void prepare_stagemanager(Node& node, ScanInputs& in) {
    node.setSelected(true, true);
    try {
        if (in.has_gpu()) in.host.setUpdateMode(UpdateMode::OnMouseUp);
        (void)node.stage();
        in.host.setUpdateMode(UpdateMode::Manual);
    } catch (const std::exception&) {
        // The cook only helps the host; the layers are read from their files below.
    }
    for (auto& sublayer : sublayer_ancestors(node)) {
        std::string stage_file = sublayer->evalParm("filepath1").str();
        if (stage_file.empty()) continue;
        console::print("bbbbb" + stage_file);
        LayerVariants layer;
        for (const auto& [set_name, selection] :
             require_usd(in.usd).variant_selections(stage_file)) {
            layer.record(RecordedVariant{set_name, false, {}, {}, selection});
            layer.layer = stage_file;
        }
        in.module.need_varian_usd.push_back(std::move(layer));
    }
}

void prepare_distributed_sim(Node& node, Host& host) {
    ParmPtr output = node.parm("sopoutput");
    if (!output) throw HostError("no parameter sopoutput", "hou.OperationFailed", node.path());
    host.setFrame(1);
    std::string first = output->eval().str();
    host.setFrame(2);
    std::string second = output->eval().str();
    if (first == second) return;
    output->set(Value::text(frame_pattern(first, second)));
}

bool value_is_zero(const Value& v) {
    return v.is_number() && v.as_float() == 0.0;
}

// Nodes whose parameters name files the scene writes, not reads.
bool writes_its_files(Node& node, const std::string& type) {
    if (type == "alembic" && node.parm("execute")) return true;
    if (cache_parent_types().count(type) && value_is_zero(node.evalParm("loadfromdisk")))
        return true;
    if (type == "geo") {
        ParmPtr proxy = node.parm("RS_objprop_proxy_enable");
        if (proxy && value_is_zero(proxy->eval())) return true;
        if (node.parm("ar_vdb_file")) return true;
    }
    return false;
}

}  // namespace

bool prepare_node(Node& node, ScanInputs& in) {
    const std::string type = node.type_name();
    if (type == "setvariant") prepare_setvariant(node, in.module);
    if (type == "stagemanager") prepare_stagemanager(node, in);
    if (type == "rendersettings" || type == "arnold_rendersettings") {
        if (ParmPtr p = node.parm("xn__arnoldglobaltexture_searchpath_xpbg"))
            in.module.texture_searchpaths.insert(slashes_forward(p->eval().str()));
    }
    if (type == "instance") in.module.instance_flag = true;
    if (type == "filecache::2.0") node.allowEditingOfContents();
    if (skipped_types().count(type)) return false;
    if (writes_its_files(node, type)) return false;
    if (type == "HQ_Sim_Deadline::1.0") prepare_distributed_sim(node, in.host);
    return true;
}

std::string frame_pattern(const std::string& first, const std::string& second) {
    auto a = digit_runs(first), b = digit_runs(second);
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

}  // namespace scanflow
