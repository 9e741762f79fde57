// The base of every analysis object: result paths, the task description, platform, channel and
// the collections that one analysis fills.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "util/flavour.h"
#include "util/json.h"

namespace scanflow {

class Related {
public:
    // `param_dict` must hold "hip_file" and "path_json"; `task.json` must exist in the result
    // directory.
    explicit Related(const Json& param_dict);
    virtual ~Related() = default;
    Related(const Related&) = delete;
    Related& operator=(const Related&) = delete;

    // Merges the scene information, host version, dependency tasks and asset libraries into the
    // task file. Never fails outward: problems are printed and the file stays as it was.
    void Write_File(const std::string& info_file, const std::string& houdiniver = "",
                    const Json& info_dict = Json::object(),
                    const Json& rely_task_dict = default_dependency_task(),
                    const std::vector<std::string>& otls_path = {});

    // A file name with every frame or tile token replaced by a wildcard.
    static std::string sequence_key(const std::string& file_name);
    // Appends a sample of one sequence's files (all of up to three, else first, last, middle).
    static std::vector<std::string>& add_sequence_file(const std::vector<std::string>& temp_glob,
                                                       std::vector<std::string>& nested_asset);
    // The host application's full version string.
    std::string getHoudiniver();

    // The files a Redshift proxy names: from the renderer's tool, else from the proxy's bytes.
    // Each proxy is read once per run (rs_asseted).
    std::vector<std::string> get_file_from_rs_cmd(const std::string& rs_file);
    std::vector<std::string> get_rs_file_from_cmd(const std::string& rs_file,
                                                  const std::string& exe);
    std::vector<std::string> get_rs_file_with_open(const std::string& rs_file);
    static std::string get_rs_exe();
    // The files a V-Ray scene names, relative ones joined to its directory.
    std::vector<std::string> read_in_vrscene(const std::string& vrscene_path);
    std::vector<std::string> read_in_vrscene(const std::string& vrscene_path, Flavour f);
    // The files an Arnold scene file names.
    static std::vector<std::string> get_ass_path(const std::string& ass);

    // Text of a child process's output (as bety_out_decode).
    static std::string cmd_out_decode(const std::string& src_str);

    // Drive letters mounted from network shares (G_WIN_MNT_MAP), reduced to folder names.
    using DriveMap = std::vector<std::pair<std::string, std::string>>;
    static Json _get_win_mnt_map();
    static DriveMap _get_drive_replacement_map();
    static DriveMap _get_drive_replacement_map(Flavour f);
    static std::string _replace_drive_in_path(const std::string& path,
                                              const DriveMap& replacement_map);

    // The upload record: every existing file below `upload_paths` with its server path, and the
    // scene entry with its digest.
    Json gather_upload(const std::vector<std::string>& upload_paths, const std::string& scene);
    Json gather_upload(const std::vector<std::string>& upload_paths, const std::string& scene,
                       Flavour f);

    static Json default_dependency_task();

    std::string current_os;
    std::string hip_file;
    std::string path_json;
    Json getaset;
    std::string uploads_json_path;
    std::string asset_json_path;
    std::string tips_json_path;
    std::string task_json_path;
    std::string success_file;
    Json task_json_dict;
    std::string platform;
    std::string channel;
    std::vector<std::string> user_plugins;
    Json tips_adict = Json::object();
    Json task_adict = Json::object();
    std::set<std::string> rs_asseted;
};

// A parameter dictionary entry as text ("" when absent or null).
std::string param_text(const Json& param_dict, const std::string& key);

}  // namespace scanflow
