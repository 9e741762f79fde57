// The files inside the scene's nested files, sorted into present and missing.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "nested/nested_inputs.h"
#include "util/json.h"

namespace scanflow {

// Per opened file, the files found in it, in the order the files were opened.
using NestedFiles = std::vector<std::pair<std::string, std::vector<std::string>>>;

// What all_upload_list finds: files present, files missing, and per opened file its contents.
struct UploadLists {
    std::vector<std::string> present;
    std::vector<std::string> missing;
    NestedFiles nested;
};

// Opens each nested file (in sorted order) with its reader, then sorts every path met into
// present (sequences expanded) and missing.
UploadLists all_upload_list(const std::vector<std::string>& uploads_list, const NestedInputs& in);

}  // namespace scanflow
