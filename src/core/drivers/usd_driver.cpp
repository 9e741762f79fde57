// The USD-file flow: a USD file given in place of a scene.
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <set>
#include <unordered_set>

#include "drivers/analysis.h"
#include "entry/console.h"
#include "entry/errors.h"
#include "entry/state.h"
#include "entry/timed.h"
#include "output/result_files.h"
#include "tasks/rely_task.h"
#include "usd/facade.h"
#include "util/file_facts.h"
#include "util/fs_cache.h"
#include "util/paths.h"
#include "util/tx_counterparts.h"

namespace scanflow {

std::vector<std::string> AnalysUsdAsset::getUsdAsset() {
    AnalysUsd fresh(param_dict);
    return fresh.ass_usd_usda_asset(hip_file);
}

std::pair<double, double> AnalysUsdAsset::getUsdframe() {
    return usd().time_codes(hip_file);
}

Json AnalysUsdAsset::UsdRopNodeSetting() {
    auto [start, end] = getUsdframe();
    Json record = Json::object();
    record["node"] = "usd_rop";
    record["frames"] = std::to_string(static_cast<long long>(std::trunc(start))) + "-" +
                       std::to_string(static_cast<long long>(std::trunc(end))) + "[1]";
    record["render"] = "1";
    record["option"] = "-1";
    return Json::array({record});
}

UsdAssetLists AnalysUsdAsset::allusdAsset(const std::vector<std::string>& file_paths) {
    UsdAssetLists lists;
    std::unordered_set<std::string> present, missing;
    for (const auto& raw : file_paths) {
        std::string path = slashes_forward(raw);
        if (fs().isfile(path)) {
            if (present.insert(path).second) {
                lists.present.push_back(path);
                lists.all.push_back(path);
            }
            continue;
        }
        auto members = glob_file(sequence_key(path));
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
    Json rop = UsdRopNodeSetting();
    Json rely = Json::object();
    try {
        rely = RelyTask(task_json_dict, rop, channel).run();
        console::print_times("handle relytask ok");
    } catch (const std::exception& e) {
        console::print(format_trace(TraceFrame::current(), e));
        rely = Json::object();
    }
    Json scene_info = Json::object();
    scene_info["rop_node"] = rop;
    scene_info["geo_node"] = Json::array();
    scene_info["distributedsim_node"] = Json::array();
    Write_File(task_json_path, getHoudiniver(), scene_info, rely);
    console::print("Analysis successful ...");
}

void AnalysUsdAsset::AssetInfo() {
    FsScope listings;
    UsdAssetLists lists = allusdAsset(getUsdAsset());
    const char* hh = std::getenv("HH");
    if (hh == nullptr) throw Error("'HH': the host installation directory is not set", "KeyError");
    std::vector<std::string> prefixes;
    {
        std::lock_guard lock(state().protect_path_mutex);
        prefixes = state().protect_path;
    }
    auto [counterparts, guarded] = find_tx_counterparts_parallel(lists.present, hh, prefixes, 10);
    (void)guarded;
    std::vector<std::string> present = lists.present;
    for (const auto& p : counterparts)
        if (fs().isfile(p)) present.push_back(p);
    std::vector<std::string> distinct;
    std::unordered_set<std::string> seen;
    for (const auto& p : present)
        if (seen.insert(p).second) distinct.push_back(p);
    Json upload = gather_upload(distinct, hip_file);
    writeFile(uploads_json_path, upload);

    std::set<std::string> facts;
    long long total = 0;
    for (const auto& entry : upload["asset"]) {
        std::string local = value_text(entry["local"]);
        facts.insert(get_file_data(local));
        total += get_file_size(local);
    }
    Json asset = Json::object();
    asset["scene_file_size"] = get_file_size(hip_file);
    asset["asset_size"] = total;
    asset["asset_num"] = facts.size();
    asset["asset"] = facts;
    asset["Nested_Assets"] = Json::object({{slashes_forward(hip_file), lists.all}});
    asset["missing_file"] = lists.missing;
    writeFile(asset_json_path, asset);
    tips_adict["50001"] = lists.missing;
    writeFile(tips_json_path, tips_adict);
    asset_list_file_path = path_json + "/asset.txt";
    AnalyRenderNode();
    writeFile(success_file, Json(""));
}

void AnalysUsdAsset::doit() {
    AssetInfo();
    console::print("[analysis_assets done...]");
}

}  // namespace scanflow
