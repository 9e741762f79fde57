#include "render/rop_nodes.h"

#include <algorithm>
#include <map>

#include "base/console.h"
#include "base/errors.h"
#include "base/text.h"
#include "base/timed.h"
#include "render/camera.h"
#include "render/node_facts.h"
#include "run/tip_codes.h"

namespace scanflow {

const std::vector<std::string>& render_node_types() {
    static const std::vector<std::string> types{
        "Redshift_ROP",  "ifd",          "oct_mantra",    "arnold",
        "ris::22",       "ris::3.0",     "denoise::3.0",  "baketexture::3.0",
        "usdrender",     "karma",        "Octane_ROP",    "hdprman",
        "usdrender_rop", "FX_mantra_",   "vray_renderer", "moge_rendersetting::1.0",
        "opengl",        "redshift::1.1"};
    return types;
}

namespace {

const std::map<std::string, std::string>& camera_parm_of() {
    static const std::map<std::string, std::string> table{{"Redshift_ROP", "RS_renderCamera"},
                                                          {"redshift::1.1", "RS_renderCamera"},
                                                          {"Octane_ROP", "HO_renderCamera"},
                                                          {"vray_renderer", "render_camera"},
                                                          {"ifd", "camera"},
                                                          {"oct_mantra", "camera"},
                                                          {"arnold", "camera"},
                                                          {"ris::22", "camera"},
                                                          {"ris::3.0", "camera"},
                                                          {"baketexture::3.0", "camera"},
                                                          {"karma", "camera"},
                                                          {"denoise::3.0", "camera"},
                                                          {"hdprman", "camera"},
                                                          {"FX_mantra_", "camera"},
                                                          {"opengl", "camera"}};
    return table;
}

bool cameraless(const std::string& type) {
    return type == "usdrender" || type == "usdrender_rop" || type == "denoise::3.0" ||
           type == "moge_rendersetting::1.0";
}

void no_size(RenderNodeRecord& record) {
    record.width = "";
    record.height = "";
}

// The size of a camera node, with the renderers' own overrides.
void camera_size(Node& node, const std::string& type, Node& cam, RenderNodeRecord& record) {
    record.width = cam.evalParm("resx").str();
    record.height = cam.evalParm("resy").str();
    if ((type == "Redshift_ROP" || type == "redshift::1.1") &&
        node.evalParm("RS_overrideCameraRes").as_float() == 1) {
        record.width = node.evalParm("RS_overrideRes1").str();
        record.height = node.evalParm("RS_overrideRes2").str();
    }
    if (type == "ifd" && node.evalParm("override_camerares").as_float() == 1) {
        record.width = node.evalParm("res_overridex").str();
        record.height = node.evalParm("res_overridey").str();
    }
}

// The image size from the render node's camera; empty when it cannot be read.
void image_size(Node& node, const std::string& type, const std::string& camera, Host& host,
                RenderNodeRecord& record) {
    try {
        if (type == "karma" || type == "hdprman") {
            try {
                Value res = node.evalParm("resolution");
                record.width = res.items().at(0).str();
                record.height = res.items().at(1).str();
            } catch (const std::exception&) {
                no_size(record);
            }
            return;
        }
        NodePtr cam = host.node(camera);
        if (!cam) {
            no_size(record);
        } else if (cam->type_name() != "cam") {
            for (auto& child : cam->allSubChildren()) {
                if (child->type_name() != "cam") continue;
                console::print("Camera path: " + child->path());
                record.width = child->evalParm("resx").str();
                record.height = child->evalParm("resy").str();
            }
        } else {
            camera_size(node, type, *cam, record);
        }
    } catch (const std::exception&) {
        no_size(record);
    }
}

void add_camera(Node& node, const std::string& type, Host& host, RenderNodeRecord& record) {
    if (cameraless(type)) {
        record.camera = "";
        no_size(record);
        return;
    }
    ParmPtr cam = node.parm(camera_parm_of().find(type)->second);
    // A render node without its camera parameter records no camera and no size.
    std::string camera = cam ? cam->eval().str() : "";
    record.camera = camera;
    if (cam) {
        image_size(node, type, camera, host, record);
    } else {
        no_size(record);
    }
}

std::string export_mode_label(Node& node, const std::string& path) {
    ParmPtr export_mode = node.parm("render_export_mode");
    if (!export_mode) throw HostError("no parameter render_export_mode", "AttributeError", path);
    auto labels = export_mode->menuLabels();
    long long index = export_mode->eval().as_int();
    return index >= 0 && static_cast<size_t>(index) < labels.size()
               ? labels[static_cast<size_t>(index)]
               : "";
}

VrayOutput vray_output(Node& node, const std::string& path, bool gpu, Tips& tips,
                       std::vector<std::string>& gpu_messages) {
    VrayOutput out;
    out.img_save = node.evalParm("SettingsOutput_img_save").str();
    Value mode = node.evalParm("render_render_mode");
    out.render_mode = mode.is_number() ? mode : Value::text(mode.str());
    // Compared by its text form, whether the host gives a number or a text.
    if (mode.str() != "0" && !gpu) {
        std::string message = "this " + path + " Render Device Mode is  " + mode.str() +
                              " ,you need submit task to GPU platform.";
        console::print_times(message);
        gpu_messages.push_back(message);
    }
    std::string label = export_mode_label(node, path);
    out.export_mode = label;
    if (label == "Export") {
        std::string message = "this " + path + " Export Mode is  " + label +
                              " ,Dont support,please select 'No Export' or 'Export & Render'.";
        console::print_times(message);
        tips.set(tip::kVrayExportMode, {message});
    }
    ParmPtr picture = node.parm("SettingsOutput_img_file_path");
    if (!picture)
        throw HostError("no parameter SettingsOutput_img_file_path", "AttributeError", path);
    out.output_path = slashes_forward(picture->unexpandedString());
    return out;
}

void check_karma_denoiser(Node& node, const std::string& path, bool gpu,
                          std::vector<std::string>& gpu_messages) {
    std::string denoiser = node.evalParm("denoiser").str();
    if (denoiser != "optix" || gpu) return;
    console::print_times("this " + path + " image filters denoiser mode is  " + denoiser +
                         " ,you need submit task to GPU platform.");
    gpu_messages.push_back("this " + path + " image filters denoiser  mode is  " + denoiser +
                           " ,you need submit task to GPU platform.");
}

void add_unique(std::vector<std::string>& list, const std::string& text) {
    if (std::find(list.begin(), list.end(), text) == list.end()) list.push_back(text);
}

// Arnold nodes that export scene files are not recorded and get no camera check here; every
// other node is recorded unless its camera is missing, which becomes a message.
void accept_record(Node& node, const std::string& type, const std::string& path,
                   RenderNodeRecord record, Host& host, std::vector<RenderNodeRecord>& rop_node,
                   std::vector<std::string>& missing_cameras) {
    if (type == "arnold") {
        if (!is_on(node.evalParm("ar_ass_export_enable"))) rop_node.push_back(std::move(record));
        return;
    }
    CameraCheck cameras = CheckCamera({record.node}, host);
    if (cameras.miss.empty()) {
        rop_node.push_back(std::move(record));
        return;
    }
    add_unique(missing_cameras, path + " --- node miss cam ---> " + cameras.miss[0].first_name());
}

}  // namespace

std::vector<RenderNodeRecord> get_rop_node_setting(const RopScan& in) {
    return timed(2, "get_rop_node_setting", [&] {
        std::vector<RenderNodeRecord> rop_node;
        std::vector<std::string> gpu_messages;
        std::vector<std::string> missing_cameras;
        const bool gpu = gpu_platform(in.platform);
        NodePtr root = in.host.node("/");
        auto visit = [&](Node& node) {
            std::string type = node.type_name();
            if (type == "karmarenderproperties") {
                check_karma_denoiser(node, node.path(), gpu, gpu_messages);
                return;
            }
            if (std::find(in.render_node_type.begin(), in.render_node_type.end(), type) ==
                in.render_node_type.end())
                return;
            std::string path = node.path();
            console::print_times("   Render ROP: " + path);
            if (path.find("topnet") != std::string::npos) return;
            RenderNodeRecord record;
            record.node = path;
            record.frames = frames_text(node, in.host);
            if (type == "opengl" && !gpu)
                in.tips.set(tip::kOpenglNeedsGpu,
                            {"The file contains an Opengl node and requires a graphics card. "
                             "Submit the file on the GPU platform"});
            if (type == "vray_renderer")
                record.vray = vray_output(node, path, gpu, in.tips, gpu_messages);
            add_camera(node, type, in.host, record);
            record.render = node.isBypassed() ? "0" : "1";
            accept_record(node, type, path, std::move(record), in.host, rop_node, missing_cameras);
        };
        if (root) root->for_each_below(visit);
        if (!missing_cameras.empty()) in.tips.set(tip::kMissingCamera, missing_cameras);
        if (!gpu_messages.empty()) {
            std::vector<std::string> distinct;
            for (const auto& m : gpu_messages) add_unique(distinct, m);
            in.tips.set(tip::kNeedsGpuPlatform, std::move(distinct));
        }
        return rop_node;
    });
}

}  // namespace scanflow
