// A person's summary of a finished analysis: the files as the analysis recorded them, the render
// nodes and tips read back from the (small) result files it wrote.
#pragma once

#include <string>
#include <vector>

#include "output/parameter_files.h"
#include "util/json.h"

namespace scanflow {

// The missing files as a person is shown them: how many, and the first few as lines.
struct MissingFiles {
    size_t count = 0;
    std::vector<std::string> first;  // "PATH  (PARAMETER)", or the path alone
};
// The missing files of an asset record: a list (USD-file flow) or by parameter (scene flow).
MissingFiles missing_files_of(const Json& missing_file);
MissingFiles missing_files_of(const MissingRecord& missing_file);

// What the asset record says of the files, kept by the driver that writes it (reading the
// record back would cost as much as the record is large).
struct FileSummary {
    bool known = false;
    long long asset_num = 0;
    long long asset_size = 0;
    MissingFiles missing;
    size_t nested = 0;  // nested files read
};

// The lines of the summary: files found and their size, files missing (the first ten, then a
// count), nested files read, render nodes with frames, camera and resolution, and the tips in
// words. A part whose source is missing or unreadable is left out.
std::vector<std::string> run_summary(const std::string& scene, const std::string& path_json,
                                     const FileSummary& files);

}  // namespace scanflow
