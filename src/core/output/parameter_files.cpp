#include "output/parameter_files.h"

#include <algorithm>

#include "base/text.h"
#include "util/paths.h"
#include "util/sequence_key.h"
#include "util/work_pool.h"

namespace scanflow {

namespace {

// The file a parameter names, or the sorted members of its sequence.
std::vector<std::string> files_of(const std::string& path, DirCache& listings, Flavour f) {
    if (listings.isfile(path)) return {path};
    std::vector<std::string> files = glob_file(sequence_key(path), listings, f);
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

ParameterFiles collect_parameter_files(const ParameterPatterns& all_node, DirCache& listings,
                                       Flavour f, unsigned threads) {
    // The parameters as recorded (each once), and the paths their patterns name.
    const auto& parameters = all_node.entries();
    std::vector<std::string> paths;
    paths.reserve(parameters.size());
    for (const ParameterPattern& entry : parameters) paths.push_back(strip(entry.pattern, "\"'"));
    // The directories are listed and matched side by side; the record is made in order.
    std::vector<std::vector<std::string>> found(parameters.size());
    parallel_for(parameters.size(), threads,
                 [&](size_t i) { found[i] = files_of(paths[i], listings, f); });
    ParameterFiles out;
    out.convert_node.reserve(parameters.size());
    // The missing-file record sized once: a million members grown as they come are moved over
    // and again, and leave it twice their size.
    out.missing_file.parameters.reserve(static_cast<size_t>(std::count_if(
        found.begin(), found.end(), [](const auto& files) { return files.empty(); })));
    for (size_t i = 0; i < parameters.size(); ++i) {
        const std::string& parm_path = parameters[i].parm;
        std::string& path = paths[i];
        std::vector<std::string>& files = found[i];
        const bool nested = ends_with_any(path, {".ass", ".ass.gz", ".rs", ".usd", ".USD", ".usda",
                                                 ".usdc", ".bgeo", ".vrscene", ".bgeo.sc"});
        bool single = files.size() == 1 && files[0] == path;
        if (nested && single) {
            out.nested.push_back(path);
        } else if (nested && !files.empty()) {
            add_sequence_file(files, out.nested);
        }
        // Each parameter is recorded once: its path is a new key.
        if (files.empty()) out.missing_file.parameters.push_back({parm_path, std::move(path)});
        // Kept end to end from here on; the list goes at once.
        out.convert_node.push_back({parm_path, TextList(files)});
        std::vector<std::string>().swap(files);
    }
    return out;
}

std::vector<const TextList*> file_lists(const ParameterFiles& parameters) {
    std::vector<const TextList*> out;
    for (const auto& parameter : parameters.convert_node) out.push_back(&parameter.files);
    return out;
}

}  // namespace scanflow
