// The scene driver: loads the scene, scans it, reads its render nodes and writes every result
// file.
#pragma once

#include <future>
#include <string>
#include <utility>
#include <vector>

#include "drivers/analys_usd.h"
#include "output/asset_record.h"
#include "output/parameter_files.h"
#include "output/result_files.h"
#include "output/upload_lists.h"
#include "render/render_settings.h"
#include "util/facts_ahead.h"
#include "util/tx_counterparts.h"

namespace scanflow {

class AnalysisHipAssets : public AnalysUsd {
public:
    AnalysisHipAssets(const Services& services, const RunParameters& param_dict);

    // Loads the scene quietly into the host.
    void openScene(const std::string& hip_path);
    std::vector<std::string> get_bgeo_asset(const std::string& bgeo_path);
    std::vector<std::string> get_begosc_instance(const std::string& bgeosc_path);
    // (settings record, Arnold denoising entries, renderer names) of one render node.
    NodeRenderSetting get_render_setting(Node& obj, const std::string& obj_type_name);
    RenderSettingsByName analysis_render_setting();
    UploadLists all_upload_list(const std::vector<std::string>& uploads_list);
    // The final assembly: every result file, with the scene information and the tips.
    void write_json();
    // Render nodes, dependency tasks and the task-file update.
    void analy_info();
    std::vector<SimulationRecord> get_distributedsim_node_setting();
    std::vector<OutputNodeRecord> get_geo_node_setting();
    // The cameras of the render nodes at `render_nodes` (those of the stored scene information
    // when it is null).
    CameraCheck CheckCamera(const std::vector<std::string>* render_nodes);
    std::vector<RenderNodeRecord> get_rop_node_setting();
    void tips_keyword_info();
    static AlembicChain abc_find(const std::string& path, Host& host);
    // The scene flow: load, scan, final assembly.
    void doit();
    // The scene flow on the scene the host already holds.
    void doit_test();

    std::vector<std::string> render_node_type;
    std::vector<std::string> otls_path;
    std::vector<std::string> all_ar_denoise;
    std::vector<std::string> all_renderer_list;
    std::string asset_list_file_path;

private:
    // The render nodes of the stored scene information.
    std::vector<std::string> stored_render_nodes() const;
    bool drivers_unseen_by_host();
    void scene_steps(DirCache& listings);
    // The final assembly within the run in progress.
    void write_results(DirCache& listings);
    void scan_parameters();
    void filter_asset_libraries(ParameterFiles& parameters);
    void load_usd_ahead(const ParameterPatterns& patterns);
    bool works_ahead() const;
    CounterpartsAhead counterparts_ahead(const ParameterFiles& parameters);
    // The parameters' files stated ahead, after their counterparts are searched and what the
    // search found is looked at for the upload record (into `files`), and last stated as the
    // record will ask.
    FactsAhead state_files_ahead(const ParameterFiles& parameters, DirCache& listings,
                                 CounterpartsAhead& counterparts,
                                 std::optional<ExaminedFiles>& files);
    FactsAhead state_nested_files_ahead(const TextList& files, DirCache& listings);
    // Takes the parameters' missing files.
    AssetRecord start_asset_record(ParameterFiles& parameters, const UploadLists& nested);
    // Every absolute candidate with its texture counterparts; those of the parameters' files as
    // far as `counterparts` found them ahead, on the thread of `facts`.
    std::vector<std::string> search_upload_files(const UploadLists& nested,
                                                 const ParameterFiles& parameters,
                                                 DirCache& listings, FactsAhead& facts,
                                                 CounterpartsAhead& counterparts);
    // The record of `to_upload`, then of the files looked at ahead, if they were.
    UploadRecord gather_uploads(std::vector<std::string> to_upload, DirCache& listings,
                                std::optional<ExaminedFiles> ahead);
    void write_upload_file(ResultAssembly& results, const UploadRecord& upload);
    // The facts of the record's files, stated while the caller goes on.
    std::future<UploadFacts> state_upload_facts_beside(const UploadRecord& upload,
                                                       DirCache& listings);
    void write_result_files(ResultAssembly& results, const AssetRecord& asset, Tips tips);
};

}  // namespace scanflow
