#include "drivers/scene_driver.h"

#include <chrono>
#include <future>
#include <optional>

#include "base/console.h"
#include "base/errors.h"
#include "base/os.h"
#include "base/people.h"
#include "base/text.h"
#include "base/timed.h"
#include "drivers/rely_task.h"
#include "nested/geo_assets.h"
#include "output/asset_record.h"
#include "output/result_files.h"
#include "output/upload_candidates.h"
#include "render/camera.h"
#include "render/camera_tips.h"
#include "render/distributed_sims.h"
#include "render/geometry_outputs.h"
#include "render/gpu.h"
#include "render/record_json.h"
#include "render/render_settings.h"
#include "render/renderer_tips.h"
#include "render/rop_nodes.h"
#include "run/tip_codes.h"
#include "scan/param_scan.h"
#include "upload/gather.h"
#include "util/exclusions.h"
#include "util/file_facts.h"

namespace scanflow {

namespace {

bool is_regular_file(const std::string& path) {
    return !path.empty() && os::is_file(path);
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

AnalysisHipAssets::AnalysisHipAssets(const Services& services, const RunParameters& param_dict)
    : AnalysUsd(services, param_dict), render_node_type(render_node_types()) {}

void AnalysisHipAssets::openScene(const std::string& hip_path) {
    timed(1, "openScene", [&] {
        Host& host = services_.host;
        console::print_cmd("start open houdini file");
        try {
            host.setSimulationEnabled(false);
            host.setUpdateMode(UpdateMode::Manual);
            console::print("set Simulation off");
            console::print("set updateMode Manual");
        } catch (const std::exception& e) {
            console::print(e.what());
        }
        std::string path = slashes_forward(hip_path);
        if (!os::exists(path)) throw FileError(path, path + " not exists plz check");
        auto start = std::chrono::steady_clock::now();
        try {
            host.load_hip(path);
            console::print("Loading hip file success");
        } catch (const LoadWarning& warning) {
            console::print(warning.what());
        }
        console::print("open scence time :" + console::float_text(seconds_since(start)));
        console::print_cmd("open houdini file ok");
    });
}

void AnalysisHipAssets::doit() {
    // One analysis, one listing of each directory it touches.
    RunSpan run = start_run();
    timed(2, "doit", [&] {
        if (!is_regular_file(hip_file)) throw Error("cg file is not exists ! ");
        require_host_installation_dir(services_.environment);
        try {
            openScene(hip_file);
        } catch (const std::exception& e) {
            // The analysis goes on with whatever the host managed to load.
            console::print("Load hip ignore Errors.");
            people::tell(std::string("scanflow: the scene did not load, the analysis goes on "
                                     "without what it holds: ") +
                         e.what());
        } catch (...) {
            console::print("Load hip ignore Errors.");
            people::tell(
                "scanflow: the scene did not load (the trace on standard output says "
                "why); the analysis goes on without what it holds");
        }
        console::flush();
        console::pause(1.0);
        scene_steps(run.listings());
    });
}

void AnalysisHipAssets::doit_test() {
    RunSpan run = start_run();
    timed(2, "doit_test", [&] {
        console::print(dirname(services_.module.module_file, native_flavour()));
        require_host_installation_dir(services_.environment);
        scene_steps(run.listings());
    });
}

void AnalysisHipAssets::scene_steps(DirCache& listings) {
    scan_parameters();
    write_results(listings);
    console::print("[analysis_assets done...]");
}

void AnalysisHipAssets::scan_parameters() {
    const Services& s = services_;
    ScanInputs in{s.host, s.module, s.usd,
                  [&s] { return has_gpu(s.module.platform_name, s.gpu_modules); }, flavour()};
    analysis_assetsChecking(in);
}

std::vector<std::string> AnalysisHipAssets::get_bgeo_asset(const std::string& bgeo_path) {
    RunSpan run = start_run();
    return scanflow::get_bgeo_asset(bgeo_path, nested_inputs(run.listings()));
}

std::vector<std::string> AnalysisHipAssets::get_begosc_instance(const std::string& bgeosc_path) {
    RunSpan run = start_run();
    return scanflow::get_begosc_instance(bgeosc_path, nested_inputs(run.listings()));
}

NodeRenderSetting AnalysisHipAssets::get_render_setting(Node& obj,
                                                        const std::string& obj_type_name) {
    return scanflow::get_render_setting(obj, obj_type_name, services_.host);
}

RenderSettingsByName AnalysisHipAssets::analysis_render_setting() {
    RenderSettings found = scanflow::analysis_render_setting(services_.host, render_node_type);
    all_ar_denoise = std::move(found.all_ar_denoise);
    all_renderer_list = std::move(found.all_renderer_list);
    return std::move(found.settings);
}

UploadLists AnalysisHipAssets::all_upload_list(const std::vector<std::string>& uploads_list) {
    RunSpan run = start_run();
    return scanflow::all_upload_list(uploads_list, nested_inputs(run.listings()));
}

void AnalysisHipAssets::write_json() {
    RunSpan run = start_run();
    write_results(run.listings());
}

void AnalysisHipAssets::write_results(DirCache& listings) {
    timed(1, "write_json", [&] {
        load_usd_ahead(services_.module.ALL_NODE);
        ParameterFiles parameters = collect_parameter_files(services_.module.ALL_NODE, listings,
                                                            flavour(), services_.module.threads);
        filter_asset_libraries(parameters);
        CounterpartsAhead counterparts = counterparts_ahead(parameters);
        std::optional<ExaminedFiles> files_ahead;  // outlives the thread that makes it
        FactsAhead facts_ahead = state_files_ahead(parameters, listings, counterparts, files_ahead);
        UploadLists nested = scanflow::all_upload_list(parameters.nested, nested_inputs(listings));
        TextList nested_files = works_ahead() ? TextList(nested.present) : TextList();
        FactsAhead nested_facts = state_nested_files_ahead(nested_files, listings);
        // No USD layer is read again in this run: what was kept of them makes room for the rest.
        if (services_.usd) services_.usd->let_go();
        if (!nested.missing.empty()) parameters.missing_file.nested = nested.missing;
        AssetRecord asset = start_asset_record(parameters, nested);
        require_save_version(hip_file);
        add_denoise_tip(all_ar_denoise, platform, tips_adict);
        add_unconfigured_renderer_tip(all_renderer_list, user_plugins, tips_adict);
        analy_info();
        tips_keyword_info();
        console::print("tips_keyword_info finished");
        Tips tips = file_tips(asset.missing_file, services_.module.problem_nodes_list);
        std::vector<std::string> to_upload =
            search_upload_files(nested, parameters, listings, facts_ahead, counterparts);
        // The candidates were copies, made and let go of here; the upload record and the
        // facts are made on other threads, whose heaps those holes do not serve.
        os::return_free_memory();
        ResultAssembly results(*this);
        UploadRecord upload =
            gather_uploads(std::move(to_upload), listings, std::move(files_ahead));
        os::return_free_memory();  // as above: the paths the record was made from
        facts_ahead.stop();
        nested_facts.stop();
        counterparts = CounterpartsAhead();  // with the counterparts it kept for the facts ahead
        // The record's facts are stated while upload.json is written: neither needs the other.
        std::future<UploadFacts> facts = state_upload_facts_beside(upload, listings);
        write_upload_file(results, upload);
        add_file_facts(asset, facts.get());
        if (auto outside = listings.refused(); !outside.empty())
            tips_adict.set(tip::kOutsideRoots, distinct(outside));
        if (services_.file_summary)
            *services_.file_summary = FileSummary{
                true, static_cast<long long>(asset.asset_num), asset.asset_size,
                missing_files_of(asset.missing_file), asset.nested ? asset.nested->size() : 0};
        write_result_files(results, asset, std::move(tips));
    });
}

// When a parameter names a USD file, the USD library is loaded while the parameters' files are
// found and the other nested files read: its import is the longest step before the first USD
// file can be read. A USD file that turns out to be missing costs the import and nothing else.
void AnalysisHipAssets::load_usd_ahead(const ParameterPatterns& patterns) {
    if (!services_.usd) return;
    for (const auto& [parm_path, pattern] : patterns.entries()) {
        if (!ends_with_any(strip(pattern, "\"'"), {".usd", ".usdc", ".USD", ".usda"})) continue;
        services_.usd->load_ahead();
        return;
    }
}

// Work is done ahead on a thread of its own only with the pool on.
bool AnalysisHipAssets::works_ahead() const {
    return services_.module.threads >= 2 && !flavour().windows;
}

// The parameters' files are stated on a thread of their own from here on, where the analysis
// will ask for their facts only at the end; first their counterparts are searched, which the
// analysis asks for sooner.
FactsAhead AnalysisHipAssets::state_files_ahead(const ParameterFiles& parameters,
                                                DirCache& listings, CounterpartsAhead& counterparts,
                                                std::optional<ExaminedFiles>& files) {
    if (!works_ahead()) return FactsAhead(listings, {}, {});
    Flavour f = flavour();
    FactsAhead::First first;
    if (!counterparts.empty())
        first = [&counterparts, &listings, &files, &env = services_.environment,
                 f](const std::atomic<bool>& leave) {
            counterparts.search(listings, leave);
            // Looked at for the record only when all were found, and nothing waits yet: the
            // record takes them after the nested files' own. Then they are stated as the record
            // will ask, which states what the lists hold, and their facts lines put in order.
            if (!counterparts.searched_all() || leave) return true;
            files = examine_files_ahead(counterparts.result_paths(), env, listings, f, leave);
            // The paths let go of lay in this thread's heap, where the walk does not allocate.
            if (files) os::return_free_memory();
            if (!files || !state_examined_files(*files, listings, leave)) return true;
            order_examined_files(*files, leave);
            return false;
        };
    // The counterparts the search finds are stated last: the search has ended by then.
    std::vector<const TextList*> lists = file_lists(parameters);
    if (!counterparts.empty()) lists.push_back(&counterparts.found());
    return FactsAhead(
        listings, std::move(lists),
        [f](const std::string& path) { return written_as_uploaded(path, f); }, std::move(first));
}

// The files the nested files name are stated on a thread of their own while the upload record
// is made from them.
FactsAhead AnalysisHipAssets::state_nested_files_ahead(const TextList& files, DirCache& listings) {
    if (!works_ahead() || files.empty()) return FactsAhead(listings, {}, {});
    Flavour f = flavour();
    return FactsAhead(listings, {&files},
                      [f](const std::string& path) { return written_as_uploaded(path, f); });
}

// The counterparts of the parameters' files, to be searched ahead with their facts; none without
// the installation directory, whose absence the search reports in its turn.
CounterpartsAhead AnalysisHipAssets::counterparts_ahead(const ParameterFiles& parameters) {
    std::optional<std::string> hh = services_.environment.get("HH");
    if (!works_ahead() || !hh) return CounterpartsAhead();
    return counterparts_ahead_of(parameters, *hh, services_.module, flavour());
}

// Digital-asset libraries that are not the host's own: their directories go into the task
// file, the libraries themselves are opened with the nested files.
void AnalysisHipAssets::filter_asset_libraries(ParameterFiles& parameters) {
    auto [library_dirs, library_files] =
        filter_excluded_paths(filter_otls_path(services_.environment, flavour()),
                              services_.module.otls_assetpath, flavour());
    otls_path = library_dirs;
    parameters.nested.insert(parameters.nested.end(), library_files.begin(), library_files.end());
}

AssetRecord AnalysisHipAssets::start_asset_record(ParameterFiles& parameters,
                                                  const UploadLists& nested) {
    AssetRecord asset;
    asset.asset_node = &services_.module.ALL_NODE;
    asset.nested = &nested.nested;
    asset.convert_node = &parameters.convert_node;
    asset.render_settings = analysis_render_setting();
    asset.environment =
        environment_record(services_.host.getenv("JOB"), services_.module.script_ver_py);
    asset.missing_file = std::move(parameters.missing_file);  // the record's from here on
    return asset;
}

// Every absolute candidate with its texture counterparts; protected ones become a tip.
std::vector<std::string> AnalysisHipAssets::search_upload_files(const UploadLists& nested,
                                                                const ParameterFiles& parameters,
                                                                DirCache& listings,
                                                                FactsAhead& facts,
                                                                CounterpartsAhead& counterparts) {
    std::string hh = host_installation_dir(services_.environment);
    console::print("Path search processing start");
    auto start = std::chrono::steady_clock::now();
    facts.end_first();
    // The parameters' files the search ahead reached are not searched again, nor copied.
    UploadCandidates candidates = upload_candidates(nested, parameters, counterparts.searched());
    TxResult found = counterparts_of(candidates.paths, hh, services_.module, listings, flavour(),
                                     &counterparts, candidates.parameters_at);
    console::print("Path search processing finished time " +
                   console::float_text(seconds_since(start)));
    if (!found.second.empty()) tips_adict.set(tip::kProtectedPaths, distinct(found.second));
    return std::move(found.first);
}

UploadRecord AnalysisHipAssets::gather_uploads(std::vector<std::string> to_upload,
                                               DirCache& listings,
                                               std::optional<ExaminedFiles> ahead) {
    console::print("get gather_upload start");
    keep_first_occurrences(to_upload);
    return gather(std::move(to_upload), hip_file, listings,
                  ahead ? std::move(*ahead) : ExaminedFiles{});
}

void AnalysisHipAssets::write_upload_file(ResultAssembly& results, const UploadRecord& upload) {
    results.upload(upload);
    console::print("get gather_upload finished");
}

// On a thread of its own with the pool on; else when the facts are asked for.
std::future<UploadFacts> AnalysisHipAssets::state_upload_facts_beside(const UploadRecord& upload,
                                                                      DirCache& listings) {
    unsigned threads = services_.module.threads;
    return std::async(threads >= 2 ? std::launch::async : std::launch::deferred,
                      [&upload, &listings, threads, scene = hip_file] {
                          return state_upload_facts(upload, scene, listings, threads);
                      });
}

// asset.json, tips.json (the writer's own tips, then the checks' in their order), asset.txt and,
// last, the success marker.
void AnalysisHipAssets::write_result_files(ResultAssembly& results, const AssetRecord& asset,
                                           Tips tips) {
    results.asset([&](JsonWriter& out) { write_asset_record(out, asset); });
    tips.update(tips_adict);
    results.tips(tips);
    asset_list_file_path = path_json + "/asset.txt";
    results.asset_list(asset.missing_file, {get_file_data(hip_file)});
    results.succeed();
}

void AnalysisHipAssets::analy_info() {
    timed(2, "analy_info", [&] {
        console::print_times("Analysis scene_info start...");
        console::print_times("Searching Geometrry Rops...");
        SceneInfo scene_info;
        scene_info.geo_node = get_geo_node_setting();
        scene_info.distributedsim_node = get_distributedsim_node_setting();
        scene_info.rop_node = get_rop_node_setting();
        console::print_times(py_repr(render_nodes_json(scene_info.rop_node)));
        DependencyTasks rely_task;
        try {
            rely_task =
                RelyTask(task_json_dict, render_node_paths(scene_info.rop_node), channel).run();
        } catch (const std::exception& e) {
            console::print(format_trace(TraceFrame::current(), e));
            rely_task = DependencyTasks();
        }
        bool no_node = scene_info.geo_node.empty() && scene_info.rop_node.empty() &&
                       scene_info.distributedsim_node.empty();
        task_adict.scene_info = scene_info;
        if (no_node && !drivers_unseen_by_host())
            tips_adict.set(tip::kNoRenderNode,
                           {"The scene has no render node set, please add render node"});
        console::print("write task.json ...");
        Write_File(task_json_path, getHoudiniver(), scene_info, rely_task, otls_path);
    });
}

// A scene whose output drivers live inside assets the host cannot read is not known to have none:
// the host application would find them, so the tip that says there are none is not raised, and
// a person is told why.
bool AnalysisHipAssets::drivers_unseen_by_host() {
    std::vector<std::string> unseen;
    NodePtr root = services_.host.node("/");
    if (root)
        root->for_each_below([&](Node& node) {
            if (services_.host.hides_output_drivers(node))
                unseen.push_back(node.path() + " (" + node.type_name() + ")");
        });
    if (unseen.empty()) return false;
    std::string named = unseen.front();
    if (unseen.size() > 1) named += " and " + std::to_string(unseen.size() - 1) + " more";
    people::tell("scanflow: no render, output or simulation node was found, but " + named +
                 " writes through output drivers inside assets that only the host application "
                 "reads; tip " +
                 tip::kNoRenderNode + " is not raised");
    return true;
}

std::vector<SimulationRecord> AnalysisHipAssets::get_distributedsim_node_setting() {
    return scanflow::get_distributedsim_node_setting(services_.host, tips_adict);
}

std::vector<OutputNodeRecord> AnalysisHipAssets::get_geo_node_setting() {
    return scanflow::get_geo_node_setting(services_.host);
}

std::vector<std::string> AnalysisHipAssets::stored_render_nodes() const {
    std::vector<std::string> nodes;
    if (task_adict.scene_info)
        for (const auto& record : task_adict.scene_info->rop_node) nodes.push_back(record.node);
    return nodes;
}

CameraCheck AnalysisHipAssets::CheckCamera(const std::vector<std::string>* render_nodes) {
    return scanflow::CheckCamera(render_nodes ? *render_nodes : stored_render_nodes(),
                                 services_.host);
}

std::vector<RenderNodeRecord> AnalysisHipAssets::get_rop_node_setting() {
    return scanflow::get_rop_node_setting(
        RopScan{services_.host, platform, render_node_type, tips_adict});
}

void AnalysisHipAssets::tips_keyword_info() {
    scanflow::tips_keyword_info(stored_render_nodes(), services_.host, tips_adict);
}

AlembicChain AnalysisHipAssets::abc_find(const std::string& path, Host& host) {
    return scanflow::abc_find(path, host);
}

}  // namespace scanflow
