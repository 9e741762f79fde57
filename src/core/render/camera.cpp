#include "render/camera.h"

#include <optional>
#include <set>

#include "base/console.h"
#include "base/errors.h"
#include "base/os.h"
#include "base/text.h"
#include "base/timed.h"

namespace scanflow {

std::pair<std::string, Json> abc_find(const std::string& path, Host& host) {
    console::print("abc_find is working");
    Json chain = Json::object();
    if (path.empty()) return {"notfit", chain};
    std::string prefix;
    int counter = 1;
    bool archive = false;
    std::string archive_node;
    std::vector<std::string> recorded;
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
        if (counter == 1 && type == "alembicarchive") {
            archive = true;
            archive_node = prefix;
        }
        if (archive) {
            ParmPtr file = node->parm("fileName");
            if (!file) throw HostError("no parameter fileName", "AttributeError", prefix);
            chain[prefix] = file->eval().str();
            recorded.push_back(prefix);
        }
        ++counter;
    }
    if (recorded.size() < 3) return {"notfit", Json::object()};
    std::string base = chain[archive_node].get<std::string>();
    Json result = Json::object();
    bool differs = false;
    for (const auto& node : recorded) {
        std::string file = chain[node].get<std::string>();
        bool exists = os::exists(file);
        int same = file == base ? 1 : 0;
        differs = differs || same == 0;
        result[node] = Json::array({file, same, exists ? "exist" : "notexist"});
    }
    if (!os::exists(base)) return {"miss", result};
    return {differs ? "diff" : "normal", result};
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

struct CameraLists {
    Json normal = Json::array(), diff = Json::array(), miss = Json::array();
};

void sort_camera(const std::string& node_path, const std::string& camera_path, Host& host,
                 CameraLists& lists) {
    if (!host.node(camera_path)) {
        console::print("This camera " + node_path + " is not in the .hip file.");
        lists.miss.push_back(Json::object({{camera_path, "notexist"}}));
        return;
    }
    console::print_times("abc_find start...");
    auto [status, chain] = abc_find(camera_path, host);
    console::print_times("abc_find is  " + status);
    if (status == "normal") {
        console::print("Normal abc cameras");
        lists.normal.push_back(chain);
    } else if (status == "diff") {
        console::print("Diffrence abc cameras");
        lists.diff.push_back(chain);
    } else if (status == "miss") {
        console::print("Miss abc cameras");
        lists.miss.push_back(chain);
    } else {
        lists.normal.push_back(Json::object({{camera_path, "exist"}}));
    }
}

}  // namespace

Json CheckCamera(const Json& records, Host& host) {
    return timed(2, "CheckCamera", [&] {
        console::print_times("CheckCamera start...");
        Json cameras = Json::object();
        if (!records.empty()) {
            static const std::set<std::string> skipped{"karma",        "hdprman",
                                                       "usdrender",    "usdrender_rop",
                                                       "denoise::3.0", "moge_rendersetting::1.0"};
            CameraLists lists;
            for (const auto& record : records) {
                std::string node_path = value_text(record.value("node", Json("")));
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
                sort_camera(node_path, camera_path, host, lists);
            }
            if (!lists.normal.empty()) cameras["normal"] = lists.normal;
            if (!lists.diff.empty()) cameras["diff"] = lists.diff;
            if (!lists.miss.empty()) cameras["miss"] = lists.miss;
        }
        console::print("camera_adict---" + py_repr(cameras));
        return cameras;
    });
}

}  // namespace scanflow
