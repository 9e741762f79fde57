// The render-node scan: one record per render node, with the render-node tips.
#include <algorithm>

#include "drivers/analysis.h"
#include "entry/console.h"
#include "entry/timed.h"
#include "render/node_facts.h"
#include "util/flavour.h"

namespace scanflow {

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

// The image size from the render node's camera, with the renderers' own overrides.
void image_size(Node& node, const std::string& type, const std::string& camera, Json& record) {
    try {
        if (type == "karma" || type == "hdprman") {
            try {
                Value res = node.evalParm("resolution");
                record["width"] = res.items().at(0).str();
                record["height"] = res.items().at(1).str();
            } catch (const std::exception&) {
                record["width"] = "";
                record["height"] = "";
            }
            return;
        }
        NodePtr cam = host().node(camera);
        if (!cam) {
            record["width"] = "";
            record["height"] = "";
        } else if (cam->type_name() != "cam") {
            for (auto& child : cam->allSubChildren()) {
                if (child->type_name() != "cam") continue;
                console::print("Camera path: " + child->path());
                record["width"] = child->evalParm("resx").str();
                record["height"] = child->evalParm("resy").str();
            }
        } else {
            record["width"] = cam->evalParm("resx").str();
            record["height"] = cam->evalParm("resy").str();
            if ((type == "Redshift_ROP" || type == "redshift::1.1") &&
                node.evalParm("RS_overrideCameraRes").as_float() == 1) {
                record["width"] = node.evalParm("RS_overrideRes1").str();
                record["height"] = node.evalParm("RS_overrideRes2").str();
            }
            if (type == "ifd" && node.evalParm("override_camerares").as_float() == 1) {
                record["width"] = node.evalParm("res_overridex").str();
                record["height"] = node.evalParm("res_overridey").str();
            }
        }
    } catch (const std::exception&) {
        record["width"] = "";
        record["height"] = "";
    }
}

}  // namespace

Json AnalysisHipAssets::get_rop_node_setting(Json rop_node) {
    return timed(2, "get_rop_node_setting", [&] {
        Json gpu_messages = Json::array();
        Json missing_cameras = Json::array();
        const bool gpu = gpu_platform(platform);
        NodePtr root = host().node("/");
        for (auto& node : root ? root->allSubChildren() : std::vector<NodePtr>{}) {
            Json record = Json::object();
            std::string path = node->path();
            std::string type = node->type_name();
            if (type == "karmarenderproperties") {
                std::string denoiser = node->evalParm("denoiser").str();
                if (denoiser == "optix" && !gpu) {
                    console::print_times("this " + path + " image filters denoiser mode is  " +
                                         denoiser + " ,you need submit task to GPU platform.");
                    gpu_messages.push_back("this " + path + " image filters denoiser  mode is  " +
                                           denoiser + " ,you need submit task to GPU platform.");
                }
                continue;
            }
            if (std::find(render_node_type.begin(), render_node_type.end(), type) ==
                render_node_type.end())
                continue;
            console::print_times("   Render ROP: " + path);
            record["node"] = path;
            if (path.find("topnet") != std::string::npos) continue;
            record["frames"] = frames_text(*node);
            if (type == "opengl" && !gpu)
                tips_adict["50110"] =
                    Json::array({"The file contains an Opengl node and requires a graphics card. "
                                 "Submit the file on the GPU platform"});
            if (type == "vray_renderer") {
                record["img_save"] = node->evalParm("SettingsOutput_img_save").str();
                Value mode = node->evalParm("render_render_mode");
                record["render_render_mode"] =
                    mode.is_number() ? (mode.kind() == Value::Kind::Int ? Json(mode.as_int())
                                                                        : Json(mode.as_float()))
                                     : Json(mode.str());
                // Compared by its text form, whether the host gives a number or a text.
                if (mode.str() != "0" && !gpu) {
                    std::string message = "this " + path + " Render Device Mode is  " + mode.str() +
                                          " ,you need submit task to GPU platform.";
                    console::print_times(message);
                    gpu_messages.push_back(message);
                }
                ParmPtr export_mode = node->parm("render_export_mode");
                if (!export_mode)
                    throw HostError("no parameter render_export_mode", "AttributeError", path);
                auto labels = export_mode->menuLabels();
                long long index = export_mode->eval().as_int();
                std::string label = index >= 0 && static_cast<size_t>(index) < labels.size()
                                        ? labels[static_cast<size_t>(index)]
                                        : "";
                record["render_export_mode"] = label;
                if (label == "Export") {
                    std::string message =
                        "this " + path + " Export Mode is  " + label +
                        " ,Dont support,please select 'No Export' or 'Export & Render'.";
                    console::print_times(message);
                    tips_adict["50012"] = Json::array({message});
                }
                ParmPtr picture = node->parm("SettingsOutput_img_file_path");
                if (!picture)
                    throw HostError("no parameter SettingsOutput_img_file_path", "AttributeError",
                                    path);
                record["output_path"] = slashes_forward(picture->unexpandedString());
            }
            if (cameraless(type)) {
                record["camera"] = "";
                record["width"] = "";
                record["height"] = "";
            } else {
                auto cam_parm = camera_parm_of().find(type);
                ParmPtr cam = node->parm(cam_parm->second);
                // A render node without its camera parameter records no camera and no size.
                std::string camera = cam ? cam->eval().str() : "";
                record["camera"] = camera;
                if (cam) {
                    image_size(*node, type, camera, record);
                } else {
                    record["width"] = "";
                    record["height"] = "";
                }
            }
            record["option"] = "-1";
            record["render"] = node->isBypassed() ? "0" : "1";
            if (type == "arnold") {
                if (!is_on(node->evalParm("ar_ass_export_enable"))) rop_node.push_back(record);
                continue;
            }
            Json one = Json::array({record});
            Json cameras = CheckCamera(&one);
            if (!cameras.contains("miss")) {
                rop_node.push_back(record);
                continue;
            }
            try {
                std::string message =
                    path + " --- node miss cam ---> " + cameras["miss"][0].begin().key();
                if (std::find(missing_cameras.begin(), missing_cameras.end(), message) ==
                    missing_cameras.end())
                    missing_cameras.push_back(message);
            } catch (const std::exception&) {
            }
        }
        if (!missing_cameras.empty()) tips_adict["50016"] = missing_cameras;
        if (!gpu_messages.empty()) {
            Json distinct = Json::array();
            for (const auto& m : gpu_messages)
                if (std::find(distinct.begin(), distinct.end(), m) == distinct.end())
                    distinct.push_back(m);
            tips_adict["50011"] = distinct;
        }
        return rop_node;
    });
}

}  // namespace scanflow
