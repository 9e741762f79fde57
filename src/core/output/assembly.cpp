// The scene flow's final assembly: patterns expanded, nested files opened, libraries filtered,
// every result file written.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <set>
#include <unordered_set>

#include "drivers/analysis.h"
#include "entry/console.h"
#include "entry/errors.h"
#include "entry/state.h"
#include "entry/timed.h"
#include "host/host.h"
#include "output/result_files.h"
#include "util/exclusions.h"
#include "util/file_facts.h"
#include "util/fs_cache.h"
#include "util/paths.h"
#include "util/tx_counterparts.h"

namespace scanflow {

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool ends_with_any(const std::string& path, std::initializer_list<const char*> endings) {
    for (const char* e : endings)
        if (ends_with(path, e)) return true;
    return false;
}

std::vector<std::string> distinct(const std::vector<std::string>& items) {
    std::vector<std::string> out;
    std::unordered_set<std::string> seen;
    for (const auto& item : items)
        if (seen.insert(item).second) out.push_back(item);
    return out;
}

std::string strip_quotes(const std::string& text) {
    size_t b = text.find_first_not_of("\"'");
    size_t e = text.find_last_not_of("\"'");
    return b == std::string::npos ? "" : text.substr(b, e - b + 1);
}

}  // namespace

UploadLists AnalysisHipAssets::all_upload_list(const std::vector<std::string>& uploads_list) {
    return timed(2, "all_upload_list", [&] {
        UploadLists result;
        result.nested = Json::object();
        std::vector<std::string> sorted = uploads_list;
        std::sort(sorted.begin(), sorted.end());
        std::vector<std::string> collected;
        for (const auto& item : sorted) {
            std::string path = slashes_forward(item);
            collected.push_back(path);
            if (ends_with_any(path, {".ass", ".ass.gz", ".usda", ".usd", ".USD", ".usdc",
                                     ".vrscene", ".bgeo.sc", ".rs"})) {
                auto start = std::chrono::steady_clock::now();
                auto found = ass_usd_usda_asset(path);
                result.nested[path] = found;
                collected.insert(collected.end(), found.begin(), found.end());
                console::print("This proxy file analyzes the usage time is : " +
                               console::float_text(seconds_since(start)));
            }
            if (ends_with(path, ".rs")) {
                auto start = std::chrono::steady_clock::now();
                auto found = get_file_from_rs_cmd(path);
                result.nested[path] = found;
                collected.insert(collected.end(), found.begin(), found.end());
                console::print(".rs analysis time is : " +
                               console::float_text(seconds_since(start)));
            }
            if (ends_with(path, ".bgeo")) {
                auto found = get_bgeo_asset(path);
                result.nested[path] = found;
                collected.insert(collected.end(), found.begin(), found.end());
            }
        }
        for (const auto& path : distinct(collected)) {
            if (fs().isfile(path)) {
                result.present.push_back(path);
                continue;
            }
            auto members = glob_file(sequence_key(path));
            if (members.empty()) {
                result.missing.push_back(path);
            } else {
                result.present.insert(result.present.end(), members.begin(), members.end());
            }
        }
        return result;
    });
}

void AnalysisHipAssets::write_json() {
    timed(1, "write_json", [&] {
        ModuleState& s = state();
        Json asset = Json::object();
        Json convert_node = Json::object();
        Json missing_file = Json::object();
        Json tips = Json::object();
        std::vector<std::string> parameter_files;
        std::vector<std::string> nested_files;
        static const std::initializer_list<const char*> kNested = {
            ".ass",  ".ass.gz", ".rs",   ".usd",     ".USD",
            ".usda", ".usdc",   ".bgeo", ".vrscene", ".bgeo.sc"};

        // 2. Every parameter's file or sequence.
        for (const auto& [parm_path, value] : s.ALL_NODE.items()) {
            std::string path = strip_quotes(value_text(value));
            std::vector<std::string> files;
            if (fs().isfile(path)) {
                files.push_back(path);
                if (ends_with_any(path, kNested)) nested_files.push_back(path);
            } else {
                files = glob_file(sequence_key(path));
                std::sort(files.begin(), files.end());
                if (ends_with_any(path, kNested) && !files.empty())
                    add_sequence_file(files, nested_files);
            }
            convert_node[parm_path] = files;
            parameter_files.insert(parameter_files.end(), files.begin(), files.end());
            if (files.empty()) missing_file[parm_path] = path;
        }

        // 3. Digital-asset libraries that are not the host's own.
        auto [library_dirs, library_files] =
            filter_excluded_paths(filter_otls_path(), s.otls_assetpath);
        otls_path = library_dirs;
        nested_files.insert(nested_files.end(), library_files.begin(), library_files.end());

        // 4. Files inside files.
        UploadLists nested = all_upload_list(nested_files);
        std::vector<std::string> candidates = distinct(nested.present);
        candidates.insert(candidates.end(), parameter_files.begin(), parameter_files.end());
        if (!nested.missing.empty()) missing_file["Nested_Assets"] = nested.missing;

        // 5. The asset record so far; the scene must record the version that saved it.
        asset["asset_node"] = s.GLOBAL_ALL_ORIGINOL_JSON;
        asset["Nested_Assets"] = nested.nested;
        asset["convert_node"] = convert_node;
        asset["render_settings"] = analysis_render_setting();
        Json environment = Json::object();
        std::optional<std::string> job = host().getenv("JOB");
        environment["JOB"] = job ? Json(*job) : Json(nullptr);
        environment["Python_ver"] = s.script_ver_py;
        asset["environment_dict"] = environment;
        asset["missing_file"] = missing_file;
        std::optional<std::string> saved = get_file_save_ver(hip_file);
        if (!saved)
            throw FileError(hip_file, hip_file + " records no save version (_HIP_SAVEVERSION)");
        std::string major = saved->substr(0, saved->find('.'));
        char* end = nullptr;
        (void)std::strtod(major.c_str(), &end);
        if (major.empty() || end == major.c_str() || *end != '\0')
            throw Error("could not convert string to float: '" + major + "' (save version of " +
                            hip_file + ")",
                        "ValueError");

        // 6, 7. Renderer tips.
        if (!all_ar_denoise.empty() && platform != "21" && platform != "61" && platform != "75") {
            all_ar_denoise.push_back(
                "The above rendering node uses Optix denoising, (Arnold) does not support GPU "
                "denoising...");
            tips_adict["50107"] = all_ar_denoise;
        }
        for (auto& plugin : user_plugins)
            if (plugin == "redshift") plugin = "RS";
        std::vector<std::string> unconfigured;
        for (const auto& renderer : all_renderer_list) {
            std::string name = value_text(renderer);
            if (std::find(user_plugins.begin(), user_plugins.end(), name) == user_plugins.end() &&
                std::find(unconfigured.begin(), unconfigured.end(), name) == unconfigured.end())
                unconfigured.push_back(name);
        }
        if (!unconfigured.empty()) {
            std::string names;
            for (size_t i = 0; i < unconfigured.size(); ++i)
                names += (i ? "," : "") + unconfigured[i];
            tips_adict["50108"] =
                Json::array({names + " renderer are useing in the scene  but is not configured to "
                                     "cause rendering errors."});
        }

        // 8. Scene information and the coded tips of the checks.
        analy_info();
        tips_keyword_info();
        console::print("tips_keyword_info finished");

        // 9. Missing files and problem nodes.
        if (!missing_file.empty()) {
            Json lines = Json::array();
            for (const auto& [key, value] : missing_file.items())
                lines.push_back(key + "--->" +
                                (value.is_array() ? py_repr(value) : value_text(value)));
            tips["50001"] = lines;
        }
        if (!s.problem_nodes_list.empty()) tips["50105"] = s.problem_nodes_list;

        // 10. Counterparts and protected paths.
        const char* hh = std::getenv("HH");
        if (hh == nullptr)
            throw Error("'HH': the host installation directory is not set", "KeyError");
        console::print("Path search processing start");
        auto search_start = std::chrono::steady_clock::now();
        std::vector<std::string> prefixes;
        {
            std::lock_guard lock(s.protect_path_mutex);
            prefixes = s.protect_path;
        }
        auto [to_upload, guarded] = find_tx_counterparts_parallel(candidates, hh, prefixes, 10);
        {
            std::lock_guard lock(s.protect_path_mutex);
            s.protect_path = prefixes;
        }
        console::print("Path search processing finished time " +
                       console::float_text(seconds_since(search_start)));
        if (!guarded.empty()) tips_adict["50104"] = distinct(guarded);

        // 11. The upload record.
        console::print("get gather_upload start");
        Json upload = gather_upload(distinct(to_upload), hip_file);
        writeFile(uploads_json_path, upload);
        console::print("get gather_upload finished");

        // 12. File facts.
        console::print("get file_size start");
        std::set<std::string> fact_lines;
        long long total = 0;
        for (const auto& entry : upload["asset"]) {
            std::string local = value_text(entry["local"]);
            fact_lines.insert(get_file_data(local));
            total += get_file_size(local);
        }
        asset["scene_file_size"] = get_file_size(hip_file);
        asset["asset_size"] = total;
        asset["asset_num"] = upload["asset"].size();
        asset["asset"] = fact_lines;
        console::print("get file_size finished");

        // 13 to 16.
        writeFile(asset_json_path, asset);
        for (const auto& [code, messages] : tips_adict.items()) tips[code] = messages;
        writeFile(tips_json_path, tips);
        asset_list_file_path = path_json + "/asset.txt";
        write_asset_txt(asset_list_file_path, missing_file, {get_file_data(hip_file)}, hip_file);
        writeFile(success_file, Json(""));
    });
}

}  // namespace scanflow
