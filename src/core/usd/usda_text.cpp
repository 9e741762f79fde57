#include "usd/usda_text.h"

#include <algorithm>

#include "base/console.h"
#include "base/errors.h"
#include "base/text.h"
#include "base/timed.h"
#include "util/file_handle.h"
#include "util/paths.h"
#include "util/regex.h"

namespace scanflow {

std::vector<std::string> handle_usda_file(const std::string& usda_file, Flavour f) {
    return timed(2, "handle_usda_file", [&] {
        console::print("usda:" + usda_file);
        std::string dir = dirname(usda_file, f);
        LineReader in(open_for_reading(os_path(usda_file, f)));
        static const Regex asset(R"(@(.*?)@)", Regex::IgnoreCase);
        std::vector<std::string> found;
        std::string line;
        while (in.next(line)) {
            for (const auto& match : asset.find_all(strip(line, " \t\r\n,"))) {
                std::string path = match.substr(1, match.size() - 2);
                if (path.empty()) continue;
                if (!isabs(path, f)) path = normpath(join(dir, path, f), f);
                if (std::find(found.begin(), found.end(), path) == found.end())
                    found.push_back(path);
            }
        }
        return found;
    });
}

}  // namespace scanflow
