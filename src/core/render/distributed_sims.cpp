#include "render/distributed_sims.h"

#include <cmath>
#include <cstdlib>

#include "base/console.h"
#include "base/errors.h"
#include "base/text.h"
#include "base/timed.h"
#include "render/node_facts.h"
#include "run/tip_codes.h"

namespace scanflow {

namespace {

ParmPtr required_parm(Node& node, const std::string& name) {
    ParmPtr p = node.parm(name);
    if (!p) throw HostError("no parameter " + name, "AttributeError", node.path());
    return p;
}

void missing_node_tip(const std::string& path, const char* what, const std::string& name,
                      Tips& tips) {
    std::string message =
        "this " + path + what + name + " ,this node is not exists,please check ..";
    console::print_times(message);
    tips.add(tip::kMissingSimControl, message);
}

void check_controls(Node& driver, const std::string& path, SimulationRecord& record, Tips& tips) {
    ParmPtr controls = required_parm(driver, "hq_sim_controls");
    std::string name = controls->evalAsString();
    record.sim_control_name = name;
    console::print("simControlName: " + name);
    if (!controls->evalAsNode()) missing_node_tip(path, " Controls Node is  ", name, tips);
}

void volume_slices(Node& driver, SimulationRecord& record) {
    ParmTuplePtr div = driver.parmTuple("slicediv");
    if (!div) throw HostError("no parameter slicediv", "AttributeError", driver.path());
    std::vector<Value> numbers;
    long long product = 1;
    Value values = div->eval();
    for (const auto& v : values.items()) {
        numbers.push_back(v.kind() == Value::Kind::Float ? v : Value::integer(v.as_int()));
        product *= v.as_int();
    }
    record.slice_divisions = std::move(numbers);
    record.num_slices = std::to_string(product);
}

void cluster_slices(Node& driver, const std::string& path, SimulationRecord& record, Tips& tips) {
    ParmPtr cluster = required_parm(driver, "hq_cluster_node");
    std::string name = cluster->evalAsString();
    record.sim_control_name = name;
    console::print("simControlName: " + name);
    NodePtr node_of_clusters = cluster->evalAsNode();
    if (!node_of_clusters) {
        missing_node_tip(path, " Cluster Node is  ", name, tips);
        return;
    }
    record.num_slices = node_of_clusters->evalParm("num_clusters").str();
    record.cluster_filter = node_of_clusters->evalParm("cluster_filter").str();
}

// The slices of the driver by its slice type; false for a type that is not supported.
bool read_slices(Node& driver, const std::string& slice, const std::string& path,
                 SimulationRecord& record, Tips& tips) {
    if (slice == "particle") {
        record.num_slices = driver.evalParm("num_slices").str();
        check_controls(driver, path, record, tips);
    } else if (slice == "volume") {
        volume_slices(driver, record);
        check_controls(driver, path, record, tips);
    } else if (slice == "cluster") {
        cluster_slices(driver, path, record, tips);
    } else {
        console::print(slice + "  不支持，请修改文件..");
        std::string message = "this " + path + " sliceType is " + slice + " ,it's not supported";
        console::print(message);
        tips.set(tip::kUnsupportedSliceType, {message});
        return false;
    }
    return true;
}

void check_slice_count(const std::string& path, const std::string& num_slices, Tips& tips) {
    long long slices = static_cast<long long>(std::trunc(std::strtod(num_slices.c_str(), nullptr)));
    if (slices <= 16) return;
    std::string message = "this " + path + " num_slices is  " + std::to_string(slices) +
                          " ,it's more than 16,please change ..";
    console::print(message);
    tips.set(tip::kTooManySlices, {message});
}

}  // namespace

std::vector<SimulationRecord> get_distributedsim_node_setting(Host& host, Tips& tips) {
    return timed(2, "get_distributedsim_node_setting", [&] {
        std::vector<SimulationRecord> records;
        NodePtr root = host.node("/");
        if (!root) return records;
        root->for_each_below([&](Node& node) {
            if (node.type_name() != "hq_sim") return;
            std::string path = slashes_forward(node.path());
            std::string driver_path = node.evalParm("hq_driver").str();
            NodePtr driver = host.node(driver_path);
            if (!driver) {
                std::string message = "this " + path + " Output Driver is  " + driver_path +
                                      " ,this node is not exists,please check ..";
                console::print_times(message);
                tips.add(tip::kMissingOutputDriver, message);
                return;
            }
            if (!driver->parm("execute")) return;
            console::print(" distributedsim Nodes: " + path);
            console::print(" output_dirver : " + driver->path());
            SimulationRecord record;
            record.node = path;
            record.output_driver = driver_path;
            record.output_file = driver->evalParm("sopoutput").str();
            std::string slice = required_parm(*driver, "slice_type")->evalAsString();
            record.slice_type = slice;
            console::print("sliceType: " + slice);
            // Without a cluster node there is no slice count to test.
            if (read_slices(*driver, slice, path, record, tips) && record.num_slices)
                check_slice_count(path, *record.num_slices, tips);
            record.frames = frames_text(node, host);
            records.push_back(std::move(record));
        });
        return records;
    });
}

}  // namespace scanflow
