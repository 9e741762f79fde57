#include "run/task_file.h"

#include "base/errors.h"
#include "run/task_file_json.h"

namespace scanflow {

namespace {

// A member that must exist, with an error naming the task file when it does not.
const Json& task_member(const Json& dict, const std::string& key, const std::string& task_path) {
    if (!dict.is_object() || !dict.contains(key))
        throw FileError(task_path, task_path + " has no \"" + key + "\"");
    return dict.at(key);
}

const Json& member_of(const TaskFile& file, const char* section, const char* key) {
    return task_member(task_member(task_document(file), section, file.path()), key, file.path());
}

}  // namespace

TaskFile::TaskFile() : TaskFile("", std::make_shared<const Document>(Document{Json::object()})) {}

TaskFile::TaskFile(std::string path, std::shared_ptr<const Document> document)
    : path_(std::move(path)), document_(std::move(document)) {}

std::string TaskFile::platform() const {
    return value_text(member_of(*this, "task_info", "platform"));
}

std::string TaskFile::channel() const {
    return value_text(member_of(*this, "task_info", "channel"));
}

std::vector<std::string> TaskFile::plugin_names() const {
    const Json& plugins = member_of(*this, "software_config", "plugins");
    std::vector<std::string> names;
    if (plugins.is_object())
        for (const auto& item : plugins.items()) names.push_back(item.key());
    return names;
}

TaskFile read_task_file(const std::string& path) {
    return task_file_of(read_json_file(path), path);
}

TaskFile task_file_of(Json document, std::string path) {
    return TaskFile(std::move(path), std::make_shared<const TaskFile::Document>(
                                         TaskFile::Document{std::move(document)}));
}

}  // namespace scanflow
