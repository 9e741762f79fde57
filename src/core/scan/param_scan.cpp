#include "scan/param_scan.h"

#include <algorithm>
#include <unordered_set>

#include "base/console.h"
#include "base/errors.h"
#include "base/people.h"
#include "base/text.h"
#include "base/timed.h"
#include "scan/node_preparation.h"
#include "scan/sequence.h"
#include "scan/special_settings.h"
#include "util/file_reference.h"

namespace scanflow {

namespace {

const std::unordered_set<std::string>& skipped_parms() {
    static const std::unordered_set<std::string> names{"prerender",  "preframe", "postframe",
                                                       "postrender", "snippet",  "imageOutput"};
    return names;
}

// The nodes, each once. Those inside locked assets report their library, and are read too: the
// files an asset's own nodes read are read by the render as well.
std::vector<NodePtr> scanned_nodes(ScanInputs& in) {
    NodePtr root = in.host.node("/");
    if (!root) throw HostError("the scene has no root node", "hou.OperationFailed", "/");
    std::vector<NodePtr> nodes;
    std::unordered_set<std::string> seen;
    // Sized once: a table grown node by node rehashes every path many times over.
    size_t count = 0;
    root->for_each_below([&count](Node&) { ++count; });
    seen.reserve(count);
    nodes.reserve(count);
    root->for_each_below([&](Node& child) {
        if (child.isInsideLockedHDA()) get_otls(child, in.module.otls_assetpath);
        NodePtr node = in.host.node(child.path());
        if (node && seen.insert(node->path()).second) nodes.push_back(node);
    });
    return nodes;
}

void add_problem_node(const std::string& path, std::vector<std::string>& problems) {
    if (std::find(problems.begin(), problems.end(), path) == problems.end())
        problems.push_back(path);
}

// The node's parameters whose value names a file, each cleared of locks and keyframes. Returns
// how many parameters were looked at. A parameter that cannot be evaluated makes its node a
// problem node, unless the node is inside a locked asset: its user cannot change it there.
size_t collect_file_parameters(Node& node, ScanInputs& in, std::vector<ParmPtr>& collected) {
    const bool own = !node.isInsideLockedHDA();
    auto parms = node.parms();
    for (auto& parm : parms) {
        if (skipped_parms().count(parm->name())) continue;
        try {
            Value value = parm->eval();
            if (!value.is_string()) continue;
            if (!is_file_reference(value.as_string(), nullptr, in.flavour)) continue;
            clear_special_setting(*parm);
            collected.push_back(parm);
        } catch (const std::exception&) {
            if (own) add_problem_node(node.path(), in.module.problem_nodes_list);
        }
    }
    return parms.size();
}

// The interpreter's repr() of the parameters' patterns as written in the asset record.
void append_patterns_repr(std::string& out, const ParameterPatterns& patterns) {
    out += "{";
    bool first = true;
    for (const auto& [parm, pattern] : patterns.entries()) {
        if (!first) out += ", ";
        first = false;
        out += python_quoted(parm, Quoted::Text);
        out += ": ";
        out += python_quoted(slashes_forward(pattern), Quoted::Text);
    }
    out += "}";
}

// The patterns of the collected parameters, and the report.
void record_patterns(std::vector<ParmPtr> collected, ScanInputs& in) {
    std::string shown = "all parm path list is [";
    for (size_t i = 0; i < collected.size(); ++i) {
        if (i) shown += ", ";
        shown += parm_repr(*collected[i]);
    }
    shown += "]";
    console::print(shown);
    shown = std::string();
    console::flush();
    in.module.ALL_NODE.reserve_more(collected.size());
    in.module.GLOBAL_ALL_ORIGINOL_LIST.reserve(in.module.GLOBAL_ALL_ORIGINOL_LIST.size() +
                                               collected.size());
    size_t read = 0;
    for (auto& parm : collected) {
        record_pattern(parm->path(), RY_GetSequen(*parm, in.host, in.flavour), in.module);
        people::progress("file parameters read", ++read);
    }
    people::progress_done("file parameters read", read);
    // The parameters are let go before the scene-wide lines are made: a million of each.
    std::vector<ParmPtr>().swap(collected);
    const ModuleState& s = in.module;
    std::string line = "all node if is: ";
    append_patterns_repr(line, s.ALL_NODE);
    console::print(line);
    line = "all assets is : ";
    append_texts_repr(line, s.GLOBAL_ALL_ORIGINOL_LIST);
    console::print(line);
    line = "problem nodes is : ";
    append_texts_repr(line, s.problem_nodes_list);
    console::print(line);
    console::print("[analysis_assets finished]");
}

}  // namespace

void analysis_assetsChecking(ScanInputs& in) {
    timed(1, "analysis_assetsChecking", [&] {
        std::vector<ParmPtr> collected;
        size_t scanned = 0;
        {  // the nodes are let go before the scene-wide lists are made
            std::vector<NodePtr> nodes = scanned_nodes(in);
            if (in.host.has_takes()) {
                in.host.hscript("takeautomode on");
                console::print("takeautomode on");
            }
            for (auto& node : nodes) {
                if (prepare_node(*node, in))
                    scanned += collect_file_parameters(*node, in, collected);
                people::progress("parameters scanned", scanned);
            }
        }
        people::progress_done("parameters scanned", scanned);
        record_patterns(std::move(collected), in);
    });
}

}  // namespace scanflow
