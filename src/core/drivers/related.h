// The base of every analysis object: a run context and the module's services, with the
// operations every analysis needs (task-file merge, sequence grouping, renderer proxy readers,
// drive mapping, upload gathering).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "drivers/run_span.h"
#include "drivers/services.h"
#include "run/run_context.h"
#include "tasks/dependency_tasks.h"
#include "upload/drive_map.h"
#include "upload/gather.h"
#include "util/fs_cache.h"

namespace scanflow {

class Related : public RunContext {
public:
    // `param_dict` must hold "hip_file" and "path_json"; `task.json` must exist in the result
    // directory.
    Related(const Services& services, const RunParameters& param_dict);
    virtual ~Related() = default;
    Related(const Related&) = delete;
    Related& operator=(const Related&) = delete;

    // Merges the scene information, host version, dependency tasks and asset libraries into the
    // task file. Never fails outward: problems are printed and the file stays as it was.
    void Write_File(const std::string& info_file, const std::string& houdiniver,
                    const SceneInfo& info_dict, const DependencyTasks& rely_task_dict,
                    const std::vector<std::string>& otls_path = {});

    static std::string sequence_key(const std::string& file_name);
    static std::vector<std::string>& add_sequence_file(const std::vector<std::string>& temp_glob,
                                                       std::vector<std::string>& nested_asset);
    // Text of a child process's output.
    static std::string cmd_out_decode(const std::string& src_str);
    std::vector<std::string> get_ass_path(const std::string& ass);
    std::vector<std::string> read_in_vrscene(const std::string& vrscene_path);
    std::string get_rs_exe();
    std::vector<std::string> get_file_from_rs_cmd(const std::string& rs_file);
    std::vector<std::string> get_rs_file_with_open(const std::string& rs_file);
    std::vector<std::string> get_rs_file_from_cmd(const std::string& rs_file,
                                                  const std::string& exe);
    DriveMap _get_drive_replacement_map();
    static std::string _replace_drive_in_path(const std::string& path,
                                              const DriveMap& replacement_map);
    // The host application's full version string.
    std::string getHoudiniver();
    UploadRecord gather_upload(std::vector<std::string> upload_paths, const std::string& scene);

    const Services& services() const { return services_; }
    Flavour flavour() const { return services_.module.flavour(); }

protected:
    // The span of an operation a caller starts here: each directory is listed once while it
    // runs, and a later operation lists afresh.
    RunSpan start_run() const { return RunSpan(services_, confinement); }
    // The upload record with the listings of the run in progress.
    UploadRecord gather(std::vector<std::string> upload_paths, const std::string& scene,
                        DirCache& listings, ExaminedFiles ahead = {}) const;

    Services services_;

private:
    static std::shared_ptr<const Confinement> confinement_of(const RunParameters& param_dict,
                                                             const Environment& environment);
};

}  // namespace scanflow
