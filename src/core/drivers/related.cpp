#include "drivers/related.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "entry/console.h"
#include "entry/errors.h"
#include "entry/state.h"
#include "host/host.h"
#include "util/regex.h"

namespace scanflow {

std::string param_text(const Json& param_dict, const std::string& key) {
    auto it = param_dict.find(key);
    if (it == param_dict.end() || it->is_null()) return "";
    return value_text(*it);
}

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A task-file member that must exist, with an error naming the task file when it does not.
const Json& task_member(const Json& dict, const std::string& key, const std::string& task_path) {
    if (!dict.is_object() || !dict.contains(key))
        throw FileError(task_path, task_path + " has no \"" + key + "\"");
    return dict.at(key);
}

}  // namespace

Related::Related(const Json& param_dict) {
    current_os = lower(platform_system());
    if (!param_dict.is_object() || !param_dict.contains("hip_file"))
        throw Error("the run parameters have no \"hip_file\"", "KeyError");
    hip_file = param_text(param_dict, "hip_file");
    path_json = param_text(param_dict, "path_json");
    auto found = param_dict.find("getaset");
    getaset = found == param_dict.end() ? Json() : *found;

    std::error_code ec;
    if (!std::filesystem::is_directory(path_json)) {
        std::filesystem::create_directories(path_json, ec);
        if (ec || path_json.empty())
            throw FileError(path_json, "cannot create result directory '" + path_json +
                                           "': " + (ec ? ec.message() : "empty path"));
    }
    std::string stars(30, '*');
    console::print(stars + hip_file + stars);
    console::print(stars + path_json + stars);

    uploads_json_path = path_json + "/upload.json";
    asset_json_path = path_json + "/asset.json";
    tips_json_path = path_json + "/tips.json";
    task_json_path = path_json + "/task.json";
    success_file = path_json + "/analyze_sucess";

    task_json_dict = read_json_file(task_json_path);

    platform = param_text(param_dict, "platform");
    if (platform.empty())
        platform = value_text(task_member(task_member(task_json_dict, "task_info", task_json_path),
                                          "platform", task_json_path));
    channel = param_text(param_dict, "channel");
    if (channel.empty())
        channel = value_text(task_member(task_member(task_json_dict, "task_info", task_json_path),
                                         "channel", task_json_path));
    const Json& plugins = task_member(
        task_member(task_json_dict, "software_config", task_json_path), "plugins", task_json_path);
    if (plugins.is_object())
        for (const auto& item : plugins.items()) user_plugins.push_back(item.key());
}

std::string Related::sequence_key(const std::string& file_name) {
    struct Rule {
        Regex pattern;
        const char* replacement;
    };
    static const std::vector<Rule>* rules = [] {
        auto* r = new std::vector<Rule>();
        const std::pair<const char*, const char*> table[] = {
            {R"(%\(UDIM\)d)", "*[0-9]"},    {R"(\<udim\>)", "*[0-9]"},   {R"(\$F(\d+)?)", "*[0-9]"},
            {R"(\$FF)", "*[0-9]"},          {R"(\$SF)", "*[0-9]"},       {R"(\<u\>)", "*[0-9]"},
            {R"(\<v\>)", "*[0-9]"},         {R"(\<uvtile\>)", "*[0-9]"}, {R"(_MAPID_)", "*"},
            {R"(`padzero(.*?)`)", "*[0-9]"}};
        for (const auto& [pattern, replacement] : table)
            r->push_back(Rule{Regex(pattern, Regex::IgnoreCase), replacement});
        return r;
    }();
    std::string result = file_name;
    for (const auto& rule : *rules) result = rule.pattern.replace_all(result, rule.replacement);
    return result;
}

std::vector<std::string>& Related::add_sequence_file(const std::vector<std::string>& temp_glob,
                                                     std::vector<std::string>& nested_asset) {
    if (temp_glob.size() <= 3) {
        nested_asset.insert(nested_asset.end(), temp_glob.begin(), temp_glob.end());
    } else {
        nested_asset.push_back(temp_glob.front());
        nested_asset.push_back(temp_glob.back());
        nested_asset.push_back(temp_glob[temp_glob.size() / 2]);
    }
    return nested_asset;
}

std::string Related::getHoudiniver() {
    (void)host().applicationVersion();
    return host().applicationVersionString();
}

Json Related::default_dependency_task() {
    Json d = Json::object();
    d["pre_task"] = Json::array();
    d["post_task"] = Json::array();
    return d;
}

}  // namespace scanflow
