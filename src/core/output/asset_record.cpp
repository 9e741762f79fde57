#include "output/asset_record.h"

#include <cstdlib>
#include <set>

#include "base/console.h"
#include "base/errors.h"
#include "run/tip_codes.h"
#include "util/file_facts.h"

namespace scanflow {

Json environment_record(const std::optional<std::string>& job, const std::string& python_ver) {
    Json environment = Json::object();
    environment["JOB"] = job ? Json(*job) : Json(nullptr);
    environment["Python_ver"] = python_ver;
    return environment;
}

void require_save_version(const std::string& hip_file) {
    std::optional<std::string> saved = get_file_save_ver(hip_file);
    if (!saved) throw FileError(hip_file, hip_file + " records no save version (_HIP_SAVEVERSION)");
    std::string major = saved->substr(0, saved->find('.'));
    char* end = nullptr;
    (void)std::strtod(major.c_str(), &end);
    if (major.empty() || end == major.c_str() || *end != '\0')
        throw Error(
            "could not convert string to float: '" + major + "' (save version of " + hip_file + ")",
            "ValueError");
}

Json file_tips(const Json& missing_file, const std::vector<std::string>& problem_nodes) {
    Json tips = Json::object();
    if (!missing_file.empty()) {
        Json lines = Json::array();
        for (const auto& [key, value] : missing_file.items())
            lines.push_back(key + "--->" + (value.is_array() ? py_repr(value) : value_text(value)));
        tips[tip::kMissingFiles] = lines;
    }
    if (!problem_nodes.empty()) tips[tip::kProblemNodes] = problem_nodes;
    return tips;
}

void add_file_facts(Json& asset, const Json& upload, const std::string& hip_file) {
    console::print("get file_size start");
    std::set<std::string> fact_lines;
    long long total = 0;
    for (const auto& entry : upload.at("asset")) {
        std::string local = value_text(entry.at("local"));
        fact_lines.insert(get_file_data(local));
        total += get_file_size(local);
    }
    asset["scene_file_size"] = get_file_size(hip_file);
    asset["asset_size"] = total;
    asset["asset_num"] = upload.at("asset").size();
    asset["asset"] = fact_lines;
    console::print("get file_size finished");
}

}  // namespace scanflow
