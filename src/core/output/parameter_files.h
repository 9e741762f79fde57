// The files each file parameter stands for: the file itself, or the members of its sequence.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/text_list.h"
#include "run/parameter_patterns.h"
#include "util/flavour.h"
#include "util/fs_cache.h"
#include "util/json.h"

namespace scanflow {

// One file parameter and its files: the file itself, or the sorted members of its sequence.
struct ParameterFile {
    std::string_view parm;  // the path recorded in the scan's patterns, which outlive this
    TextList files;         // end to end: a scene's parameters can name a hundred thousand
};

// The files the scene needs that are not there ("missing_file"): each file parameter's path as
// written when no file exists, in the scan's order, then the nested files' missing files.
struct MissingRecord {
    struct Parameter {
        std::string_view parm;  // the path recorded in the scan's patterns, which outlive this
        std::string path;
    };
    std::vector<Parameter> parameters;
    std::vector<std::string> nested;  // "Nested_Assets", after the parameters
    bool empty() const { return parameters.empty() && nested.empty(); }
};

struct ParameterFiles {
    std::vector<ParameterFile> convert_node;  // in the scan's order
    MissingRecord missing_file;
    std::vector<std::string> nested;  // scene, proxy and cache files to open (sampled)
};

// From the scan's parameter patterns (`ALL_NODE`), expanding on up to `threads` threads. The
// record refers to the patterns' paths, which must outlive it.
ParameterFiles collect_parameter_files(const ParameterPatterns& all_node, DirCache& listings,
                                       Flavour f, unsigned threads);

// Each parameter's files, for reading side by side with the analysis: they do not change once
// collected.
std::vector<const TextList*> file_lists(const ParameterFiles& parameters);

}  // namespace scanflow
