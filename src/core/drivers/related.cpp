#include "drivers/related.h"

#include "base/os.h"
#include "nested/redshift.h"
#include "nested/vrscene.h"
#include "output/task_file.h"
#include "render/record_json.h"
#include "tasks/dependency_tasks_json.h"
#include "upload/gather.h"
#include "util/encoding.h"
#include "util/sequence_key.h"

namespace scanflow {

Related::Related(const Services& services, const RunParameters& param_dict)
    : RunContext(open_run(param_dict, os::current_directory(), services.module.flavour())),
      services_(services) {
    confinement = confinement_of(param_dict, services.environment);
    services_.host.confine_variables(confinement);
}

// The option's roots and variables, else the environment's (for runs inside the host
// application, which has no command line); null when no roots are given.
std::shared_ptr<const Confinement> Related::confinement_of(const RunParameters& param_dict,
                                                           const Environment& environment) {
    std::string roots = param_dict.text("confine");
    std::string variables = param_dict.text("confine_env");
    if (roots.empty()) {
        roots = environment.text("SCANFLOW_CONFINE");
        variables = environment.text("SCANFLOW_CONFINE_ENV");
    }
    if (roots.empty()) return nullptr;
    return Confinement::from_lists(roots, variables);
}

void Related::Write_File(const std::string& info_file, const std::string& houdiniver,
                         const SceneInfo& info_dict, const DependencyTasks& rely_task_dict,
                         const std::vector<std::string>& otls_path) {
    scanflow::Write_File(info_file, TaskMerge{services_.module.script_ver_py, channel, houdiniver,
                                              scene_info_json(info_dict),
                                              dependency_tasks_json(rely_task_dict), otls_path});
}

std::string Related::sequence_key(const std::string& file_name) {
    return scanflow::sequence_key(file_name);
}

std::vector<std::string>& Related::add_sequence_file(const std::vector<std::string>& temp_glob,
                                                     std::vector<std::string>& nested_asset) {
    return scanflow::add_sequence_file(temp_glob, nested_asset);
}

std::string Related::cmd_out_decode(const std::string& src_str) {
    return bety_out_decode(src_str);
}

std::vector<std::string> Related::get_ass_path(const std::string& ass) {
    return scanflow::get_ass_path(ass, services_.arnold);
}

std::vector<std::string> Related::read_in_vrscene(const std::string& vrscene_path) {
    RunSpan run = start_run();
    return scanflow::read_in_vrscene(vrscene_path, run.listings(), flavour());
}

std::string Related::get_rs_exe() {
    RunSpan run = start_run();
    return scanflow::get_rs_exe(services_.environment, run.listings());
}

std::vector<std::string> Related::get_file_from_rs_cmd(const std::string& rs_file) {
    RunSpan run = start_run();
    return scanflow::get_file_from_rs_cmd(
        rs_file, RedshiftReads{rs_asseted, run.listings(), services_.environment});
}

std::vector<std::string> Related::get_rs_file_with_open(const std::string& rs_file) {
    RunSpan run = start_run();
    return scanflow::get_rs_file_with_open(
        rs_file, RedshiftReads{rs_asseted, run.listings(), services_.environment});
}

std::vector<std::string> Related::get_rs_file_from_cmd(const std::string& rs_file,
                                                       const std::string& exe) {
    RunSpan run = start_run();
    return scanflow::get_rs_file_from_cmd(
        rs_file, exe, RedshiftReads{rs_asseted, run.listings(), services_.environment});
}

DriveMap Related::_get_drive_replacement_map() {
    return drive_replacement_map(services_.environment, flavour());
}

std::string Related::_replace_drive_in_path(const std::string& path,
                                            const DriveMap& replacement_map) {
    return replace_drive_in_path(path, replacement_map);
}

std::string Related::getHoudiniver() {
    (void)services_.host.applicationVersion();
    return services_.host.applicationVersionString();
}

UploadRecord Related::gather_upload(std::vector<std::string> upload_paths,
                                    const std::string& scene) {
    RunSpan run = start_run();
    return gather(std::move(upload_paths), scene, run.listings());
}

UploadRecord Related::gather(std::vector<std::string> upload_paths, const std::string& scene,
                             DirCache& listings, ExaminedFiles ahead) const {
    return scanflow::gather_upload(std::move(upload_paths), scene, services_.environment, listings,
                                   flavour(), services_.module.threads, std::move(ahead));
}

}  // namespace scanflow
