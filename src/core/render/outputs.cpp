// Geometry-output and distributed-simulation nodes.
#include <cmath>
#include <set>

#include "drivers/analysis.h"
#include "entry/console.h"
#include "entry/timed.h"
#include "render/node_facts.h"
#include "util/flavour.h"

namespace scanflow {

namespace {

std::string frames_with_trange(Node& node) {
    ParmPtr trange = node.parm("trange");
    if (trange && trange->eval().as_float() == 0) {
        std::string f = std::to_string(static_cast<long long>(std::trunc(host().frame())));
        return f + "-" + f + "[1]";
    }
    return frames_text(node);
}

}  // namespace

Json AnalysisHipAssets::get_geo_node_setting(Json geo_nodes, Json geo_node) {
    return timed(2, "get_geo_node_setting", [&] {
        static const std::set<std::string> output_types{"rop_geometry",
                                                        "geometry",
                                                        "dop",
                                                        "rop_alembic",
                                                        "usd_rop",
                                                        "alembic",
                                                        "rop_fbx",
                                                        "rop_dop",
                                                        "rop_vrayproxy",
                                                        "usdexport",
                                                        "Redshift_Proxy_Output"};
        static const std::set<std::string> cache_parents{"filecache",
                                                         "dopio",
                                                         "filecache::2.0",
                                                         "labs::filecache::1.0",
                                                         "labs::filecache::2.0",
                                                         "vellumio::2.0"};
        NodePtr root = host().node("/");
        for (auto& node : root ? root->allSubChildren() : std::vector<NodePtr>{}) {
            std::string path = slashes_forward(node->path());
            std::string type = node->type_name();
            NodePtr parent = node->parent();
            std::string parent_type = parent ? parent->type_name() : "";
            if (node->isInsideLockedHDA() && !cache_parents.count(parent_type)) continue;
            auto accept = [&](const std::optional<std::string>& frames) {
                geo_nodes["node"] = path;
                console::print_times("Geometry ROP: " + path);
                if (frames) geo_nodes["frames"] = *frames;
                geo_nodes["option"] = "0";
                geo_nodes["render"] = "0";
                geo_node.push_back(geo_nodes);
            };
            if (output_types.count(type)) {
                if (node->parm("execute")) accept(frames_with_trange(*node));
            } else if (type == "arnold" && is_on(node->evalParm("ar_ass_export_enable"))) {
                if (node->parm("execute")) accept(frames_text(*node));
            } else if (type == "Redshift_ROP" && is_on(node->evalParm("RS_archive_enable"))) {
                if (node->parm("execute")) accept(frames_text(*node));
            } else if (type == "labs::vertex_animation_textures::3.0") {
                if (node->parm("renderall")) {
                    std::string frames = frames_text(*node);
                    accept(frames.substr(0, frames.find('[')) + "[1]");
                }
            } else if (type == "prepost" && node->parm("execute")) {
                // A pre/post node carries its own frames when it has them, otherwise none.
                bool has_frames = node->parm("f1") || node->parm("f2");
                geo_nodes.erase("frames");
                accept(has_frames ? std::optional<std::string>(frames_text(*node)) : std::nullopt);
            }
        }
        return geo_node;
    });
}

Json AnalysisHipAssets::get_distributedsim_node_setting(Json distributedsim_node, int i) {
    (void)i;
    return timed(2, "get_distributedsim_node_setting", [&] {
        NodePtr root = host().node("/");
        for (auto& node : root ? root->allSubChildren() : std::vector<NodePtr>{}) {
            Json record = Json::object();
            std::string path = slashes_forward(node->path());
            if (node->type_name() != "hq_sim") continue;
            std::string driver_path = node->evalParm("hq_driver").str();
            NodePtr driver = host().node(driver_path);
            if (!driver) {
                std::string message = "this " + path + " Output Driver is  " + driver_path +
                                      " ,this node is not exists,please check ..";
                console::print_times(message);
                tips_adict["50013"].push_back(message);
                continue;
            }
            if (!driver->parm("execute")) continue;
            console::print(" distributedsim Nodes: " + path);
            console::print(" output_dirver : " + driver->path());
            record["node"] = path;
            record["output_driver"] = driver_path;
            record["output_file"] = driver->evalParm("sopoutput").str();
            ParmPtr slice_parm = driver->parm("slice_type");
            if (!slice_parm)
                throw HostError("no parameter slice_type", "AttributeError", driver->path());
            std::string slice = slice_parm->evalAsString();
            record["sliceType"] = slice;
            console::print("sliceType: " + slice);
            bool supported = true;
            auto controls_check = [&] {
                ParmPtr controls = driver->parm("hq_sim_controls");
                if (!controls)
                    throw HostError("no parameter hq_sim_controls", "AttributeError",
                                    driver->path());
                std::string name = controls->evalAsString();
                record["simControlName"] = name;
                console::print("simControlName: " + name);
                if (!controls->evalAsNode()) {
                    std::string message = "this " + path + " Controls Node is  " + name +
                                          " ,this node is not exists,please check ..";
                    console::print_times(message);
                    tips_adict["50014"].push_back(message);
                }
            };
            if (slice == "particle") {
                record["num_slices"] = driver->evalParm("num_slices").str();
                controls_check();
            } else if (slice == "volume") {
                ParmTuplePtr div = driver->parmTuple("slicediv");
                if (!div)
                    throw HostError("no parameter slicediv", "AttributeError", driver->path());
                Value values = div->eval();
                Json numbers = Json::array();
                long long product = 1;
                for (const auto& v : values.items()) {
                    numbers.push_back(v.kind() == Value::Kind::Float ? Json(v.as_float())
                                                                     : Json(v.as_int()));
                    product *= v.as_int();
                }
                record["slicediv"] = numbers;
                record["num_slices"] = std::to_string(product);
                controls_check();
            } else if (slice == "cluster") {
                ParmPtr cluster = driver->parm("hq_cluster_node");
                if (!cluster)
                    throw HostError("no parameter hq_cluster_node", "AttributeError",
                                    driver->path());
                std::string name = cluster->evalAsString();
                record["simControlName"] = name;
                console::print("simControlName: " + name);
                if (NodePtr node_of_clusters = cluster->evalAsNode()) {
                    record["num_slices"] = node_of_clusters->evalParm("num_clusters").str();
                    Value filter = node_of_clusters->evalParm("cluster_filter");
                    record["cluster_filter"] =
                        filter.is_string() ? Json(filter.as_string()) : Json(filter.str());
                } else {
                    std::string message = "this " + path + " Cluster Node is  " + name +
                                          " ,this node is not exists,please check ..";
                    console::print_times(message);
                    tips_adict["50014"].push_back(message);
                }
            } else {
                supported = false;
                console::print(slice + "  不支持，请修改文件..");
                std::string message =
                    "this " + path + " sliceType is " + slice + " ,it's not supported";
                console::print(message);
                tips_adict["50007"] = Json::array({message});
            }
            // Without a cluster node there is no slice count to test.
            if (supported && record.contains("num_slices")) {
                long long slices = static_cast<long long>(std::trunc(
                    std::strtod(record["num_slices"].get<std::string>().c_str(), nullptr)));
                if (slices > 16) {
                    std::string message = "this " + path + " num_slices is  " +
                                          std::to_string(slices) +
                                          " ,it's more than 16,please change ..";
                    console::print(message);
                    tips_adict["50008"] = Json::array({message});
                }
            }
            record["frames"] = frames_text(*node);
            record["option"] = "1";
            record["render"] = "0";
            distributedsim_node.push_back(record);
        }
        return distributedsim_node;
    });
}

}  // namespace scanflow
