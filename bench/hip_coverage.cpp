// How much of real scenes our own scene layer reads as the host would: every scene of the given
// folders (or files) is loaded, every parameter of every node evaluated, and the render
// settings of every render node read.
//   scanflow_hip_coverage [--show CAUSE] PATH [PATH ...]
// Prints per scene: load outcome, nodes, parameters, evaluation errors, parameters naming a
// file, render nodes complete, asset instances (with their definitions found, and expanded);
// then the totals, the evaluation errors grouped by cause and by class (what counts against the
// layer, what only a cook or running Python could answer) and the render types' completeness.
// --show prints every error whose cause holds the text CAUSE, with its parameter.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "base/console.h"
#include "base/errors.h"
#include "host/hip/hip_host.h"
#include "render/render_settings.h"
#include "render/rop_nodes.h"
#include "util/environment.h"
#include "util/file_reference.h"

using namespace scanflow;

namespace {

std::vector<std::string> scenes_in(const std::vector<std::string>& roots) {
    std::vector<std::string> out;
    for (const auto& root : roots) {
        if (std::filesystem::is_regular_file(root)) {
            out.push_back(root);
            continue;
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
            if (entry.is_regular_file() && entry.path().extension() == ".hip")
                out.push_back(entry.path().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The cause of an evaluation error, from its message: the construct it names.
std::string cause_of(const std::string& message) {
    static const std::regex outside(R"(the function (\w+)\(\) cannot be evaluated)");
    static const std::regex function(R"(unknown (?:expression )?function:? '?(\w+))");
    static const std::regex variable(R"((?:undefined|unknown) variable:? '?\$?\{?(\w+))");
    std::smatch m;
    if (std::regex_search(message, m, outside)) return "host-only function " + m[1].str() + "()";
    if (std::regex_search(message, m, function)) return "function " + m[1].str() + "()";
    if (std::regex_search(message, m, variable)) return "variable $" + m[1].str();
    if (message.find("PDG attributes") != std::string::npos) return "PDG attribute (@name)";
    static const std::regex python(
        R"(Python expression not evaluated outside the host application: (.{0,40}))");
    if (std::regex_search(message, m, python)) {
        std::string what = m[1].str();
        if (what.find("statements") == 0 || what.find("import") == 0 || what.find("from") == 0)
            return "Python statements (never run)";
        if (what.find("__import__") != std::string::npos || what.find("the name") == 0)
            return "Python: " + what.substr(0, what.find(' ', 9) == std::string::npos
                                                   ? what.size()
                                                   : what.find(' ', 9));
        return "Python: " + what.substr(0, 30);
    }
    if (message.find("ython") != std::string::npos) return "Python expression";
    return message.substr(0, 70);
}

// Which errors the layer is not meant to answer: what only a cook gives (geometry and stage
// contents, local variables of a cooking node, work item attributes) and Python beyond reading
// parameters. The rest counts against the layer.
std::string class_of(const std::string& cause) {
    static const std::set<std::string> cooked{
        "primuv",        "point",          "points",         "prim",
        "prims",         "vertex",         "centroid",       "detail",
        "details",       "npoints",        "nprims",         "nvertices",
        "bbox",          "lopinputprims",  "lopinputprim",   "hasdetailattrib",
        "hasprimattrib", "haspointattrib", "detailattrib",   "pointattrib",
        "primattrib",    "uniquevals",     "nuniquevals",    "chop",
        "chopf",         "chopn",          "iprims",         "pointpattern",
        "primpattern",   "pointavg",       "primattribsize", "dopobjscreatedby",
        "dopfield",      "dopfields",      "doption",        "dopoption",
        "dopnumrecords", "opcook",         "opinputpath"};
    if (cause.rfind("Python", 0) == 0) return "Python beyond reading parameters";
    if (cause.rfind("variable $", 0) == 0 || cause.rfind("PDG", 0) == 0)
        return "cook-time variables and work item attributes";
    static const std::regex host_only(R"(host-only function (\w+)\(\))");
    std::smatch m;
    if (std::regex_search(cause, m, host_only) && cooked.count(m[1].str()))
        return "geometry, stage and simulation functions";
    return "counted";
}

struct Totals {
    size_t scenes = 0, failed = 0, damaged = 0, nodes = 0, parms = 0, errors = 0, files = 0;
    // Asset instances, those whose definition was found, those given their contents, and the
    // nodes and file parameters made from definitions.
    size_t instances = 0, definitions = 0, expanded = 0, inside_nodes = 0, inside_files = 0;
    std::map<std::string, size_t> causes;
    std::string show;  // print the errors whose cause holds this text
    std::map<std::string, std::pair<size_t, size_t>> render;  // type -> (complete, all)
    std::vector<std::string> incomplete;                      // node: what stopped the reading
};

// The error line of a printed trace.
std::string reason_in(const std::string& trace) {
    size_t at = trace.find("Traceback");
    size_t end = trace.find("##--##", at);
    std::string block = trace.substr(at, end == std::string::npos ? std::string::npos : end - at);
    while (!block.empty() && (block.back() == '\n' || block.back() == ' ')) block.pop_back();
    return block.substr(block.rfind('\n') + 1);
}

std::string capture(const std::function<void()>& fn) {
    std::string text;
    console::set_sink({[&](std::string_view t) { text.append(t); }, [] {}});
    try {
        fn();
    } catch (...) {
        text += "Traceback: failed";
    }
    console::reset_sink();
    return text;
}

void analyse(const std::string& path, Totals& totals) {
    auto host = hip::make_hip_host(Environment::process());
    std::string load = "ok";
    try {
        host->load_hip(path);
    } catch (const LoadWarning& w) {
        load = "damaged";
        ++totals.damaged;
    } catch (const std::exception& e) {
        std::string message = e.what();
        if (message.compare(0, path.size(), path) == 0) message.erase(0, path.size());
        load = "FAILED:" + message;
        ++totals.failed;
    }
    size_t nodes = 0, parms = 0, errors = 0, render = 0, complete = 0, files = 0;
    for (auto& node : host->node("/")->allSubChildren()) {
        ++nodes;
        const bool inside = hip::from_definition(*host, node->path());
        totals.inside_nodes += inside;
        for (auto& parm : node->parms()) {
            ++parms;
            try {
                Value value = parm->eval();
                bool file = value.is_string() &&
                            is_file_reference(value.as_string(), nullptr, native_flavour());
                files += file;
                totals.inside_files += file && inside;
            } catch (const std::exception& e) {
                ++errors;
                std::string cause = cause_of(e.what());
                ++totals.causes[cause];
                if (!totals.show.empty() && cause.find(totals.show) != std::string::npos)
                    std::printf("show: %s: %s\n", parm->path().c_str(), e.what());
            }
        }
        std::string type = node->type_name();
        const auto& render_types = render_node_types();
        if (std::find(render_types.begin(), render_types.end(), type) == render_types.end())
            continue;
        ++render;
        std::string said = capture([&] { (void)get_render_setting(*node, type, *host); });
        bool whole = said.find("Traceback") == std::string::npos;
        complete += whole;
        if (!whole) totals.incomplete.push_back(node->path() + ": " + reason_in(said));
        auto& [good, all] = totals.render[type];
        good += whole;
        ++all;
    }
    ++totals.scenes;
    hip::Scene::AssetFigures assets = hip::asset_figures(*host);
    totals.instances += assets.instances;
    totals.definitions += assets.definitions_found;
    totals.expanded += assets.expanded;
    totals.files += files;
    totals.nodes += nodes;
    totals.parms += parms;
    totals.errors += errors;
    std::string name = path.substr(path.rfind('/') + 1);
    std::printf("| %s | %s | %zu | %zu | %zu | %zu | %zu/%zu | %zu/%zu/%zu |\n", name.c_str(),
                load.substr(0, 90).c_str(), nodes, parms, errors, files, complete, render,
                assets.instances, assets.definitions_found, assets.expanded);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> roots(argv + 1, argv + argc);
    Totals totals;
    if (roots.size() >= 2 && roots[0] == "--show") {
        totals.show = roots[1];
        roots.erase(roots.begin(), roots.begin() + 2);
    }
    std::printf(
        "| scene | load | nodes | parameters | evaluation errors | file parameters | render nodes "
        "complete | asset instances/definitions/expanded |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|---:|\n");
    for (const auto& path : scenes_in(roots)) analyse(path, totals);
    std::printf(
        "\nscenes %zu, load failures %zu, loaded with damaged sections %zu, nodes %zu, "
        "parameters %zu, evaluation errors %zu (%.2f %%), file parameters %zu\n",
        totals.scenes, totals.failed, totals.damaged, totals.nodes, totals.parms, totals.errors,
        totals.parms ? 100.0 * totals.errors / totals.parms : 0.0, totals.files);
    std::printf(
        "asset instances %zu, definitions found %zu, expanded %zu, nodes inside assets %zu, "
        "file parameters inside assets %zu\n",
        totals.instances, totals.definitions, totals.expanded, totals.inside_nodes,
        totals.inside_files);
    std::vector<std::pair<std::string, size_t>> causes(totals.causes.begin(), totals.causes.end());
    std::sort(causes.begin(), causes.end(), [](auto& a, auto& b) { return a.second > b.second; });
    std::printf("\n| evaluation errors by cause | count |\n|---|---:|\n");
    for (size_t i = 0; i < causes.size() && i < 25; ++i)
        std::printf("| %s | %zu |\n", causes[i].first.c_str(), causes[i].second);
    std::map<std::string, size_t> classes;
    for (const auto& [cause, count] : causes) classes[class_of(cause)] += count;
    std::printf("\n| evaluation errors by class | count | of parameters |\n|---|---:|---:|\n");
    for (const auto& [name, count] : classes)
        std::printf("| %s | %zu | %.3f %% |\n", name.c_str(), count,
                    totals.parms ? 100.0 * count / totals.parms : 0.0);
    std::printf("\n| render node type | complete settings |\n|---|---:|\n");
    for (const auto& [type, counts] : totals.render)
        std::printf("| %s | %zu/%zu |\n", type.c_str(), counts.first, counts.second);
    for (const auto& line : totals.incomplete) std::printf("incomplete: %s\n", line.c_str());
    return 0;
}
