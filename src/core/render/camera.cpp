#include "render/camera.h"

#include <optional>
#include <set>

#include "base/console.h"
#include "base/errors.h"
#include "base/os.h"
#include "base/text.h"
#include "base/timed.h"
#include "render/record_json.h"

namespace scanflow {

AlembicChain abc_find(const std::string& path, Host& host) {
    console::print("abc_find is working");
    if (path.empty()) return {"notfit", {}};
    std::string prefix;
    int counter = 1;
    bool archive = false;
    std::vector<std::pair<std::string, std::string>> read;  // node → file, from the archive down
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        std::string segment = path.substr(start, slash - start);
        start = slash + 1;
        if (segment.empty()) continue;
        prefix += "/" + segment;
        NodePtr node = host.node(prefix);
        if (!node)
            throw HostError("no node at " + prefix + " (camera path " + path + ")",
                            "AttributeError", prefix);
        std::string type = node->type_name();
        if (type != "alembicarchive" && type != "alembicxform" && type != "cam") continue;
        if (counter == 1 && type == "alembicarchive") archive = true;
        if (archive) {
            ParmPtr file = node->parm("fileName");
            if (!file) throw HostError("no parameter fileName", "AttributeError", prefix);
            read.emplace_back(prefix, file->eval().str());
        }
        ++counter;
    }
    if (read.size() < 3) return {"notfit", {}};
    const std::string& base = read.front().second;
    AlembicChain chain;
    bool differs = false;
    for (const auto& [node, file] : read) {
        bool same = file == base;
        differs = differs || !same;
        chain.links.push_back({node, file, same, os::exists(file)});
    }
    chain.status = !os::exists(base) ? "miss" : differs ? "diff" : "normal";
    return chain;
}

namespace {

// The render node's camera value: the last of its camera parameters, "/" separators; none for a
// node without one.
std::optional<std::string> camera_value(Node& node) {
    static const std::set<std::string> camera_parms{"camera", "RS_renderCamera", "HO_renderCamera",
                                                    "render_camera"};
    std::optional<std::string> camera;
    for (auto& parm : node.parms())
        if (camera_parms.count(parm->name())) camera = slashes_forward(parm->eval().str());
    return camera;
}

void sort_camera(const std::string& node_path, const std::string& camera_path, Host& host,
                 CameraCheck& lists) {
    if (!host.node(camera_path)) {
        console::print("This camera " + node_path + " is not in the .hip file.");
        lists.miss.push_back({camera_path, false, {}});
        return;
    }
    console::print_times("abc_find start...");
    AlembicChain chain = abc_find(camera_path, host);
    console::print_times("abc_find is  " + chain.status);
    if (chain.status == "normal") {
        console::print("Normal abc cameras");
        lists.normal.push_back({camera_path, true, std::move(chain.links)});
    } else if (chain.status == "diff") {
        console::print("Diffrence abc cameras");
        lists.diff.push_back({camera_path, true, std::move(chain.links)});
    } else if (chain.status == "miss") {
        console::print("Miss abc cameras");
        lists.miss.push_back({camera_path, true, std::move(chain.links)});
    } else {
        lists.normal.push_back({camera_path, true, {}});
    }
}

}  // namespace

CameraCheck CheckCamera(const std::vector<std::string>& render_nodes, Host& host) {
    return timed(2, "CheckCamera", [&] {
        console::print_times("CheckCamera start...");
        CameraCheck cameras;
        if (!render_nodes.empty()) {
            static const std::set<std::string> skipped{"karma",        "hdprman",
                                                       "usdrender",    "usdrender_rop",
                                                       "denoise::3.0", "moge_rendersetting::1.0"};
            for (const auto& node_path : render_nodes) {
                NodePtr node = host.node(node_path);
                if (!node)
                    throw HostError("no render node at " + node_path, "AttributeError", node_path);
                std::string path = node->path();
                if (skipped.count(node->type_name())) continue;
                // A render node without a camera parameter has no camera to check.
                std::optional<std::string> camera = camera_value(*node);
                if (!camera) continue;
                std::string camera_path =
                    camera->find("../") != std::string::npos ? path + "/" + *camera : *camera;
                sort_camera(node_path, camera_path, host, cameras);
            }
        }
        console::print("camera_adict---" + py_repr(camera_check_json(cameras)));
        return cameras;
    });
}

}  // namespace scanflow
