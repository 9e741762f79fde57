#include "usd/usda_text.h"

#include <algorithm>

#include <cstdio>

#include "base/budgets.h"
#include "base/console.h"
#include "base/errors.h"
#include "base/os.h"
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

size_t usda_nesting(std::string_view text) {
    size_t depth = 0, deepest = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '#') {
            i = text.find('\n', i);
            if (i == std::string_view::npos) break;
        } else if (c == '"' || c == '\'' || c == '@') {
            // """...""", "...", '...', @...@ and @@@...@@@ hold no structure.
            std::string_view close = text.substr(i, 1);
            if (text.substr(i, 3) == std::string_view(std::string(3, c))) close = text.substr(i, 3);
            size_t at = i + close.size();
            while (at < text.size()) {
                if (text[at] == '\\' && c != '@') {
                    at += 2;
                    continue;
                }
                if (text.substr(at, close.size()) == close) break;
                if (close.size() == 1 && c != '@' && text[at] == '\n') break;
                ++at;
            }
            i = std::min(at + close.size(), text.size()) - 1;
        } else if (c == '{' || c == '(' || c == '[') {
            deepest = std::max(deepest, ++depth);
        } else if ((c == '}' || c == ')' || c == ']') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

std::string layer_refusal(const std::string& path) {
    if (!os::exists(path)) return "";
    std::string why;
    FileHandle file(os::open_regular(path, &why));
    if (!file) return why;
    // One open: the head tells a text layer, and only a text layer is read on.
    std::string text(5, '\0');
    if (std::fread(text.data(), 1, text.size(), file.get()) != text.size() || text != "#usda")
        return "";
    char block[1 << 14];
    for (size_t n; (n = std::fread(block, 1, sizeof block, file.get())) > 0;) text.append(block, n);
    size_t nesting = usda_nesting(text);
    if (nesting > budget::kUsdTextNesting)
        return "its brackets nest " + std::to_string(nesting) + " deep, beyond the " +
               std::to_string(budget::kUsdTextNesting) + " the USD library's parser is given";
    return "";
}

}  // namespace scanflow
