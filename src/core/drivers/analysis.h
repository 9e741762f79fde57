// The analysis drivers: the top-level dispatch, the scene driver and the USD-file driver.
#pragma once

#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "drivers/related.h"
#include "host/host.h"

namespace scanflow {

class AnalysUsd : public Related {
public:
    explicit AnalysUsd(const Json& param_dict) : Related(param_dict) {}
    // The files named inside a scene, proxy or cache file, recursively; each file once per run.
    std::vector<std::string> ass_usd_usda_asset(const std::string& ass_path);
    std::vector<std::string> ass_usd_usda_asset(const std::string& ass_path, Flavour f);
    // The asset paths written between "@" signs in a .usda text.
    std::vector<std::string> handle_usda_file(const std::string& usda_file);
    // The layers and assets a USD stage depends on, sorted.
    std::vector<std::string> get_stage_references(const std::string& stage_file);
    // Adds a layer file's external layers, recursively, to `allLayer` (each layer opened once).
    void get_refe_layer(const std::string& usd_path, std::set<std::string>& allLayer);
    // A reference or asset path as seen from the layer that states it.
    std::string resolve_ref(const std::string& layer_real_path, const std::string& first_sublayer,
                            const std::string& reference, const std::string& dir_path);
    std::set<std::string> all_ass;  // Arnold scene files already expanded
};

// What all_upload_list finds: files present, files missing, and per opened file its contents.
struct UploadLists {
    std::vector<std::string> present;
    std::vector<std::string> missing;
    Json nested = Json::object();
};

class AnalysisHipAssets : public AnalysUsd {
public:
    explicit AnalysisHipAssets(const Json& param_dict);

    // Loads the scene quietly into the host.
    void openScene(const std::string& hip_path);
    // The scene flow: load, scan, final assembly.
    void doit();
    // The scene flow on the scene the host already holds.
    void doit_test();

    void write_json();
    void analy_info();
    UploadLists all_upload_list(const std::vector<std::string>& uploads_list);
    std::vector<std::string> get_bgeo_asset(const std::string& bgeo_path);
    std::vector<std::string> get_begosc_instance(const std::string& bgeosc_path);
    Json analysis_render_setting();
    void tips_keyword_info();

    Json get_geo_node_setting(Json geo_nodes, Json records);
    Json get_distributedsim_node_setting(Json records, int count);
    Json get_rop_node_setting(Json records);
    // The cameras of render-node records (the stored ones when `ropnode` is null), sorted into
    // "normal", "diff" and "miss".
    Json CheckCamera(const Json* ropnode);
    static std::pair<std::string, Json> abc_find(const std::string& path);
    // (settings record, Arnold denoising entries, renderer names) of one render node.
    std::tuple<Json, Json, Json> get_render_setting(Node& obj, const std::string& obj_type_name);

    std::vector<std::string> render_node_type;
    std::set<std::string> all_bgeo;
    std::set<std::string> all_bgeosc;
    std::vector<std::string> otls_path;
    Json all_ar_denoise = Json::array();
    Json all_renderer_list = Json::array();
    std::string asset_list_file_path;

private:
    void scene_steps();
};

// The three lists of allusdAsset: present files, missing files, all files.
struct UsdAssetLists {
    std::vector<std::string> present, missing, all;
};

class AnalysUsdAsset : public AnalysUsd {
public:
    explicit AnalysUsdAsset(const Json& param_dict);
    // The files the USD file depends on.
    std::vector<std::string> getUsdAsset();
    std::pair<double, double> getUsdframe();
    Json UsdRopNodeSetting();
    UsdAssetLists allusdAsset(const std::vector<std::string>& file_paths);
    void AnalyRenderNode();
    void AssetInfo();
    void doit();
    Json param_dict;
    std::string asset_list_file_path;
};

class AnalysisAssets : public Related {
public:
    explicit AnalysisAssets(const Json& param_dict);
    // Dispatches the scene file by its extension.
    void doit();
    // Runs the scene flow on the scene the host holds (the command line's test mode).
    void doit_test();
    Json param_dict;
};

// The extension of a file name: from its last dot on, "" when there is none (a leading dot of
// a hidden name does not count).
std::string file_extension(const std::string& path);

}  // namespace scanflow
