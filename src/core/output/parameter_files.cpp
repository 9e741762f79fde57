#include "output/parameter_files.h"

#include <algorithm>

#include "base/text.h"
#include "util/paths.h"
#include "util/sequence_key.h"

namespace scanflow {

ParameterFiles collect_parameter_files(const Json& all_node, DirCache& listings, Flavour f) {
    ParameterFiles out;
    for (const auto& [parm_path, value] : all_node.items()) {
        std::string path = strip(value_text(value), "\"'");
        const bool nested = ends_with_any(path, {".ass", ".ass.gz", ".rs", ".usd", ".USD", ".usda",
                                                 ".usdc", ".bgeo", ".vrscene", ".bgeo.sc"});
        std::vector<std::string> files;
        if (listings.isfile(path)) {
            files.push_back(path);
            if (nested) out.nested.push_back(path);
        } else {
            files = glob_file(sequence_key(path), listings, f);
            std::sort(files.begin(), files.end());
            if (nested && !files.empty()) add_sequence_file(files, out.nested);
        }
        if (files.empty()) out.missing_file[parm_path] = path;
        out.convert_node.push_back({parm_path, std::move(files)});
    }
    return out;
}

}  // namespace scanflow
