#include "drivers/analysis.h"

#include <chrono>
#include <filesystem>

#include "entry/console.h"
#include "entry/errors.h"
#include "entry/state.h"
#include "entry/timed.h"
#include "host/host.h"
#include "scan/param_scan.h"
#include "tasks/rely_task.h"
#include "util/fs_cache.h"

namespace scanflow {

namespace stdfs = std::filesystem;

std::string file_extension(const std::string& path) {
    auto slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    auto first = name.find_first_not_of('.');
    if (first == std::string::npos) return "";
    auto dot = name.rfind('.');
    if (dot == std::string::npos || dot < first) return "";
    return name.substr(dot);
}

namespace {
bool is_regular_file(const std::string& path) {
    std::error_code ec;
    return !path.empty() && stdfs::is_regular_file(path, ec);
}
}  // namespace

// ---- top-level dispatch ----

AnalysisAssets::AnalysisAssets(const Json& params) : Related(params), param_dict(params) {}

void AnalysisAssets::doit() {
    if (!is_regular_file(hip_file)) return;
    std::string ext = file_extension(hip_file);
    if (ext == ".hip" || ext == ".hiplc") {
        AnalysisHipAssets(param_dict).doit();
    } else if (ext == ".usd" || ext == ".usda" || ext == ".usdc") {
        AnalysUsdAsset(param_dict).doit();
    }
}

void AnalysisAssets::doit_test() {
    AnalysisHipAssets(param_dict).doit_test();
}

// ---- USD-file driver ----

AnalysUsdAsset::AnalysUsdAsset(const Json& params) : AnalysUsd(params), param_dict(params) {}

// ---- scene driver ----

AnalysisHipAssets::AnalysisHipAssets(const Json& params)
    : AnalysUsd(params),
      render_node_type{"Redshift_ROP",  "ifd",          "oct_mantra",    "arnold",
                       "ris::22",       "ris::3.0",     "denoise::3.0",  "baketexture::3.0",
                       "usdrender",     "karma",        "Octane_ROP",    "hdprman",
                       "usdrender_rop", "FX_mantra_",   "vray_renderer", "moge_rendersetting::1.0",
                       "opengl",        "redshift::1.1"} {
    rs_asseted.clear();
    all_ass.clear();
}

void AnalysisHipAssets::openScene(const std::string& hip_path) {
    timed(1, "openScene", [&] {
        console::print_cmd("start open houdini file");
        try {
            host().setSimulationEnabled(false);
            host().setUpdateMode(UpdateMode::Manual);
            console::print("set Simulation off");
            console::print("set updateMode Manual");
        } catch (const std::exception& e) {
            console::print(e.what());
        }
        std::string path = hip_path;
        for (char& c : path)
            if (c == '\\') c = '/';
        std::error_code ec;
        if (!stdfs::exists(path, ec)) throw FileError(path, path + " not exists plz check");
        auto start = std::chrono::steady_clock::now();
        try {
            host().load_hip(path);
            console::print("Loading hip file success");
        } catch (const LoadWarning& warning) {
            console::print(warning.what());
        }
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        console::print("open scence time :" + console::float_text(elapsed.count()));
        console::print_cmd("open houdini file ok");
    });
}

void AnalysisHipAssets::doit() {
    // One analysis, one listing of each directory it touches.
    FsScope listings;
    timed(2, "doit", [&] {
        if (!is_regular_file(hip_file)) throw Error("cg file is not exists ! ");
        try {
            openScene(hip_file);
        } catch (...) {
            // The analysis goes on with whatever the host managed to load.
            console::print("Load hip ignore Errors.");
        }
        console::flush();
        console::pause(1.0);
        scene_steps();
    });
}

void AnalysisHipAssets::doit_test() {
    FsScope listings;
    timed(2, "doit_test", [&] {
        console::print(stdfs::path(state().module_file).parent_path().string());
        scene_steps();
    });
}

void AnalysisHipAssets::scene_steps() {
    analysis_assetsChecking();
    write_json();
    console::print("[analysis_assets done...]");
}

void AnalysisHipAssets::analy_info() {
    timed(2, "analy_info", [&] {
        console::print_times("Analysis scene_info start...");
        Json geo_nodes = Json::object();
        console::print_times("Searching Geometrry Rops...");
        Json geo_records = get_geo_node_setting(geo_nodes, Json::array());
        Json sim_records = get_distributedsim_node_setting(Json::array(), 0);
        Json rop_records = get_rop_node_setting(Json::array());
        console::print_times(py_repr(rop_records));
        Json rely_task = Json::object();
        try {
            rely_task = RelyTask(task_json_dict, rop_records, channel).run();
        } catch (const std::exception& e) {
            console::print(format_trace(TraceFrame::current(), e));
            rely_task = Json::object();
        }

        Json scene_info = Json::object();
        scene_info["geo_node"] = geo_records;
        scene_info["rop_node"] = rop_records;
        scene_info["distributedsim_node"] = sim_records;
        task_adict["scene_info"] = scene_info;
        if (geo_records.empty() && rop_records.empty() && sim_records.empty())
            tips_adict["50010"] =
                Json::array({"The scene has no render node set, please add render node"});
        console::print("write task.json ...");
        Write_File(task_json_path, getHoudiniver(), scene_info, rely_task, otls_path);
    });
}

}  // namespace scanflow
