// The client's task file as the analysis reads it: platform, channel and plug-ins, each with an
// error naming the file when the member is missing. The document itself travels whole, as the
// client wrote it (members the analysis does not know included): host scripts read it, and the
// dependency tasks are taken from it; its JSON form is reached through run/task_file_json.h.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace scanflow {

class TaskFile {
public:
    struct Document;

    // An empty document, read from nowhere.
    TaskFile();
    TaskFile(std::string path, std::shared_ptr<const Document> document);

    // "platform" and "channel" of "task_info", as text.
    std::string platform() const;
    std::string channel() const;
    // The names of the plug-ins of "software_config", in the file's order; none when the member
    // is not an object.
    std::vector<std::string> plugin_names() const;

    const std::string& path() const { return path_; }
    const Document& document() const { return *document_; }

private:
    std::string path_;
    std::shared_ptr<const Document> document_;
};

}  // namespace scanflow
