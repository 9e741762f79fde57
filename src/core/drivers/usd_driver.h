// The USD-file flow: a USD file given in place of a scene.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "drivers/analys_usd.h"
#include "nested/recursive.h"
#include "output/asset_record.h"
#include "run/scene_records.h"

namespace scanflow {

// The three lists of allusdAsset: present files, missing files, all files.
struct UsdAssetLists {
    std::vector<std::string> present, missing, all;
};

class AnalysUsdAsset : public AnalysUsd {
public:
    AnalysUsdAsset(const Services& services, const RunParameters& param_dict);
    // The files the USD file depends on.
    std::vector<std::string> getUsdAsset();
    // The USD library's version, "major.minor.patch".
    std::string getUsdver();
    std::pair<double, double> getUsdframe();
    // The one render-node record that covers the USD file's time range.
    std::vector<RenderNodeRecord> UsdRopNodeSetting();
    UsdAssetLists allusdAsset(const std::vector<std::string>& file_paths);
    // Dependency tasks and the task-file update.
    void AnalyRenderNode();
    // The whole USD-file flow.
    void AssetInfo();
    void doit();

    RunParameters param_dict;
    std::string asset_list_file_path;

private:
    std::vector<std::string> usd_files(DirCache& listings, Repeats repeats);
    UsdAssetLists usd_lists(const std::vector<std::string>& file_paths, DirCache& listings);
    std::vector<std::string> upload_files(const UsdAssetLists& lists, DirCache& listings);
    StageAssetRecord asset_record(const UploadRecord& upload, const UsdAssetLists& lists,
                                  DirCache& listings);
};

}  // namespace scanflow
