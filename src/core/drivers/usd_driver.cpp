#include "drivers/usd_driver.h"

#include <cmath>
#include <set>
#include <unordered_set>

#include "base/console.h"
#include "base/errors.h"
#include "base/os.h"
#include "base/text.h"
#include "drivers/rely_task.h"
#include "nested/recursive.h"
#include "output/result_files.h"
#include "output/upload_candidates.h"
#include "render/record_json.h"
#include "run/tip_codes.h"
#include "util/file_facts.h"
#include "util/paths.h"
#include "util/sequence_key.h"

namespace scanflow {

AnalysUsdAsset::AnalysUsdAsset(const Services& services, const RunParameters& params)
    : AnalysUsd(services, params), param_dict(params) {}

std::vector<std::string> AnalysUsdAsset::getUsdAsset() {
    RunSpan run = start_run();
    return usd_files(run.listings(), Repeats::Listed);
}

// The scene's files, read with visited sets of their own: the run is opened again from the
// parameters, as the protocol does (its banners printed again).
std::vector<std::string> AnalysUsdAsset::usd_files(DirCache& listings, Repeats repeats) {
    RunContext fresh = open_run(param_dict, os::current_directory(), flavour());
    fresh.confinement = confinement;
    return scanflow::ass_usd_usda_asset(hip_file, nested_inputs(listings, fresh), repeats);
}

std::string AnalysUsdAsset::getUsdver() {
    return require_usd(services_.usd).version();
}

std::pair<double, double> AnalysUsdAsset::getUsdframe() {
    return require_usd(services_.usd).time_codes(hip_file);
}

std::vector<RenderNodeRecord> AnalysUsdAsset::UsdRopNodeSetting() {
    auto [start, end] = getUsdframe();
    RenderNodeRecord record;
    record.node = "usd_rop";
    record.frames = std::to_string(static_cast<long long>(std::trunc(start))) + "-" +
                    std::to_string(static_cast<long long>(std::trunc(end))) + "[1]";
    record.of_stage = true;
    return {record};
}

UsdAssetLists AnalysUsdAsset::allusdAsset(const std::vector<std::string>& file_paths) {
    RunSpan run = start_run();
    return usd_lists(file_paths, run.listings());
}

UsdAssetLists AnalysUsdAsset::usd_lists(const std::vector<std::string>& file_paths,
                                        DirCache& listings) {
    UsdAssetLists lists;
    std::unordered_set<std::string> present, missing;
    for (const auto& raw : file_paths) {
        std::string path = slashes_forward(raw);
        if (listings.isfile(path)) {
            if (present.insert(path).second) {
                lists.present.push_back(path);
                lists.all.push_back(path);
            }
            continue;
        }
        auto members = glob_file(sequence_key(path), listings, flavour());
        if (!members.empty()) {
            lists.present.insert(lists.present.end(), members.begin(), members.end());
            lists.all.insert(lists.all.end(), members.begin(), members.end());
        } else if (path.find('/') != std::string::npos && missing.insert(path).second) {
            lists.missing.push_back(path);
            lists.all.push_back(path);
        }
    }
    return lists;
}

void AnalysUsdAsset::AnalyRenderNode() {
    SceneInfo scene_info;
    scene_info.rop_node = UsdRopNodeSetting();
    scene_info.render_nodes_first = true;
    DependencyTasks rely;
    try {
        rely = RelyTask(task_json_dict, render_node_paths(scene_info.rop_node), channel).run();
        console::print_times("handle relytask ok");
    } catch (const std::exception& e) {
        console::print(format_trace(TraceFrame::current(), e));
        rely = DependencyTasks();
    }
    Write_File(task_json_path, getHoudiniver(), scene_info, rely);
    console::print("Analysis successful ...");
}

// The present files with their texture counterparts that exist, each once.
std::vector<std::string> AnalysUsdAsset::upload_files(const UsdAssetLists& lists,
                                                      DirCache& listings) {
    std::string hh = host_installation_dir(services_.environment);
    auto counterparts =
        counterparts_of(lists.present, hh, services_.module, listings, flavour()).first;
    std::vector<std::string> present = lists.present;
    for (const auto& p : counterparts)
        if (listings.isfile(p)) present.push_back(p);
    return distinct(present);
}

StageAssetRecord AnalysUsdAsset::asset_record(const UploadRecord& upload,
                                              const UsdAssetLists& lists, DirCache& listings) {
    std::set<std::string> facts;
    StageAssetRecord asset;
    for (const auto& entry : upload.asset) {
        FileFacts read = listings.facts(entry.local);
        facts.insert(file_data_line(entry.local, read));
        asset.asset_size += read.size;
    }
    asset.scene_file_size = listings.facts(hip_file).size;
    asset.asset.assign(facts.begin(), facts.end());
    asset.stage = slashes_forward(hip_file);
    asset.all = &lists.all;
    asset.missing = &lists.missing;
    return asset;
}

void AnalysUsdAsset::AssetInfo() {
    RunSpan run = start_run();
    DirCache& listings = run.listings();
    // The lists keep each file once: the files named again need not be gathered.
    UsdAssetLists lists = usd_lists(usd_files(listings, Repeats::FilesOnce), listings);
    ResultAssembly results(*this);
    UploadRecord upload = gather(upload_files(lists, listings), hip_file, listings);
    results.upload(upload);
    StageAssetRecord record = asset_record(upload, lists, listings);
    if (services_.file_summary)
        *services_.file_summary =
            FileSummary{true, static_cast<long long>(record.asset.size()), record.asset_size,
                        missing_files_of(Json(lists.missing)), 1};
    results.asset([&](JsonWriter& out) { write_stage_asset_record(out, record); });
    tips_adict.set(tip::kMissingFiles, lists.missing);
    results.tips(tips_adict);
    asset_list_file_path = path_json + "/asset.txt";
    AnalyRenderNode();
    results.succeed();
}

void AnalysUsdAsset::doit() {
    require_host_installation_dir(services_.environment);
    AssetInfo();
    console::print("[analysis_assets done...]");
}

}  // namespace scanflow
