#include "render/render_settings.h"

#include <algorithm>

#include "base/console.h"
#include "base/errors.h"
#include "base/text.h"
#include "base/timed.h"
#include "render/node_facts.h"

namespace scanflow {

namespace {

std::string raw_path(Node& node, const std::string& parm) {
    ParmPtr p = node.parm(parm);
    if (!p) throw HostError("no parameter " + parm, "AttributeError", node.path());
    return slashes_forward(p->unexpandedString());
}

// "start", "end", "lnc" as the host gives them; a node that lacks one takes the scene's range.
void add_frame_range(Node& obj, Host& host, RenderSetting& record) {
    auto [global_start, global_end] = host.global_frame_range();
    auto frame = [&](const char* name, double fallback) {
        ParmPtr p = obj.parm(name);
        return p ? p->eval().str() : console::float_text(fallback);
    };
    record.start = frame("f1", global_start);
    record.end = frame("f2", global_end);
    record.lnc = frame("f3", 1);
}

void read_mantra(Node& obj, RenderSetting& record) {
    record.camera = obj.evalParm("camera").str();
    record.output_path = raw_path(obj, "vm_picture");
    NamedValues samples;
    for (const char* name : {"samplesy", "samplesx", "minraysamples", "maxraysamples", "variance",
                             "globalquality", "diffusequality", "sssquality", "reflectionquality",
                             "refractionquality", "volumequality"})
        samples.emplace_back(name, obj.evalParm(std::string("vm_") + name));
    record.samples = std::move(samples);
}

void arnold_denoising(Node& obj, const std::string& path, std::vector<std::string>& denoise) {
    if (is_on(obj.evalParm("ar_denoise"))) denoise.push_back(path + " ar_denoise");
    if (is_on(obj.evalParm("ar_denoise_display"))) denoise.push_back(path + " ar_denoise_display");
    long long aovs = obj.evalParm("ar_aovs").as_int();
    for (long long n = 1; aovs != 0 && n <= aovs; ++n) {
        std::string i = std::to_string(n);
        if (is_on(obj.evalParm("ar_enable_aov" + i)) &&
            is_on(obj.evalParm("ar_aov_denoise_enable" + i)))
            denoise.push_back(path + " ar_aov_denoise_enable" + i);
    }
}

void read_arnold(Node& obj, const std::string& path, RenderSetting& record,
                 std::vector<std::string>& denoise) {
    record.camera = obj.evalParm("camera").str();
    record.output_path = raw_path(obj, "ar_picture");
    NamedValues samples;
    samples.emplace_back("samples_AA", obj.evalParm("ar_AA_samples"));
    for (const char* name : {"diffuse", "specular", "transmission", "sss", "volume"})
        samples.emplace_back(name, obj.evalParm(std::string("ar_GI_") + name + "_samples"));
    record.samples = std::move(samples);
    NamedValues blur;
    if (is_on(obj.evalParm("ar_mb_xform_enable")))
        blur.emplace_back("transform keys", obj.evalParm("ar_mb_xform_keys"));
    if (is_on(obj.evalParm("ar_mb_dform_enable")))
        blur.emplace_back("Deform keys", obj.evalParm("ar_mb_dform_keys"));
    record.motion_blur_keys = std::move(blur);
    arnold_denoising(obj, path, denoise);
}

void read_redshift(Node& obj, const std::string& type, RenderSetting& record) {
    record.camera = obj.evalParm("RS_renderCamera").str();
    record.output_path = raw_path(obj, "RS_outputFileNamePrefix");
    if (type == "redshift::1.1") return;
    record.motion_blur = obj.evalParm("MotionBlurEnabled");
    NamedValues samples;
    for (const char* name : {"UnifiedMinSamples", "UnifiedMaxSamples", "MaxTraceDepthReflection",
                             "MaxTraceDepthRefraction", "MaxTraceDepthCombined"})
        samples.emplace_back(name, obj.evalParm(name));
    record.samples = std::move(samples);
}

void read_vray(Node& obj, const std::string& path, RenderSetting& record) {
    record.camera = obj.evalParm("render_camera").str();
    record.img_save = obj.evalParm("SettingsOutput_img_save").str();
    ParmPtr mode = obj.parm("render_render_mode");
    if (!mode) throw HostError("no parameter render_render_mode", "AttributeError", path);
    auto labels = mode->menuLabels();
    long long index = mode->eval().as_int();
    record.render_mode = labels.at(static_cast<size_t>(index));
    record.output_path = raw_path(obj, "SettingsOutput_img_file_path");
}

// The family's settings, chosen by node type, and the renderer it adds.
void read_family(Node& obj, const std::string& type, const std::string& path, RenderSetting& record,
                 std::vector<std::string>& denoise, std::vector<std::string>& renderers) {
    if (type == "ifd" || type == "oct_mantra" || type == "FX_mantra_") {
        read_mantra(obj, record);
    } else if (type == "arnold") {
        renderers.push_back("HtoA");
        read_arnold(obj, path, record, denoise);
    } else if (type == "Redshift_ROP" || type == "redshift" || type == "redshift::1.1") {
        renderers.push_back("RS");
        read_redshift(obj, type, record);
    } else if (type == "hdprman" || type == "opengl") {
        renderers.push_back(type == "hdprman" ? "renderman" : "opengl");
        record.camera = obj.evalParm("camera").str();
        record.output_path = raw_path(obj, "picture");
    } else if (type == "vray_renderer") {
        renderers.push_back("vray");
        read_vray(obj, path, record);
    }
}

}  // namespace

NodeRenderSetting get_render_setting(Node& obj, const std::string& obj_type_name, Host& host) {
    return timed(2, "get_render_setting", [&] {
        NodeRenderSetting out;
        std::string path = obj.path();
        if (path.find("topnet") == std::string::npos) add_frame_range(obj, host, out.record);
        try {
            read_family(obj, obj_type_name, path, out.record, out.denoise, out.renderers);
        } catch (const std::exception& e) {
            console::print(format_trace(TraceFrame::current(), e));
        }
        return out;
    });
}

RenderSettings analysis_render_setting(Host& host,
                                       const std::vector<std::string>& render_node_type) {
    return timed(2, "analysis_render_setting", [&] {
        RenderSettings out;
        NodePtr root = host.node("/");
        if (!root) return out;
        root->for_each_below([&](Node& node) {
            std::string type = node.type_name();
            if (std::find(render_node_type.begin(), render_node_type.end(), type) ==
                render_node_type.end())
                return;
            NodeRenderSetting found = get_render_setting(node, type, host);
            out.settings.set(node.name(), std::move(found.record));
            out.all_ar_denoise.insert(out.all_ar_denoise.end(), found.denoise.begin(),
                                      found.denoise.end());
            out.all_renderer_list.insert(out.all_renderer_list.end(), found.renderers.begin(),
                                         found.renderers.end());
        });
        return out;
    });
}

}  // namespace scanflow
