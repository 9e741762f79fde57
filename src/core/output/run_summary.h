// A person's summary of a finished analysis: the files as the analysis recorded them, the render
// nodes and tips read back from the (small) result files it wrote.
#pragma once

#include <string>
#include <vector>

#include "util/json.h"

namespace scanflow {

// What the asset record says of the files, kept by the driver that writes it (reading the
// record back would cost as much as the record is large).
struct FileSummary {
    bool known = false;
    long long asset_num = 0;
    long long asset_size = 0;
    Json missing_file;  // as in the record: by parameter (scene flow) or a list (USD-file flow)
    size_t nested = 0;  // nested files read
};

// The lines of the summary: files found and their size, files missing (the first ten, then a
// count), nested files read, render nodes with frames, camera and resolution, and the tips in
// words. A part whose source is missing or unreadable is left out.
std::vector<std::string> run_summary(const std::string& scene, const std::string& path_json,
                                     const FileSummary& files);

}  // namespace scanflow
