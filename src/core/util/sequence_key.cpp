#include "util/sequence_key.h"

#include <utility>

#include "base/text.h"
#include "util/regex.h"

namespace scanflow {

namespace {

// Whether any rule can match: each pattern holds one of these marks, or the map-id token.
bool may_hold_tokens(const std::string& name) {
    return name.find_first_of("%<$`") != std::string::npos ||
           (name.find('_') != std::string::npos &&
            ascii_lower(name).find("_mapid_") != std::string::npos);
}

}  // namespace

std::string sequence_key(const std::string& file_name) {
    // Most names hold no token: ten regular expressions would give the name back as it was.
    if (!may_hold_tokens(file_name)) return file_name;
    struct Rule {
        Regex pattern;
        const char* replacement;
    };
    // Applied one after the other; a later rule sees what the earlier ones made. Never destroyed:
    // a thread may still be matching while the process ends.
    static const std::vector<Rule>& rules = *[] {
        auto* r = new std::vector<Rule>();
        const std::pair<const char*, const char*> table[] = {
            {R"(%\(UDIM\)d)", "*[0-9]"},    {R"(\<udim\>)", "*[0-9]"},   {R"(\$F(\d+)?)", "*[0-9]"},
            {R"(\$FF)", "*[0-9]"},          {R"(\$SF)", "*[0-9]"},       {R"(\<u\>)", "*[0-9]"},
            {R"(\<v\>)", "*[0-9]"},         {R"(\<uvtile\>)", "*[0-9]"}, {R"(_MAPID_)", "*"},
            {R"(`padzero(.*?)`)", "*[0-9]"}};
        for (const auto& [pattern, replacement] : table)
            r->push_back(Rule{Regex(pattern, Regex::IgnoreCase), replacement});
        return r;
    }();
    std::string result = file_name;
    for (const auto& rule : rules) result = rule.pattern.replace_all(result, rule.replacement);
    return result;
}

std::vector<std::string>& add_sequence_file(const std::vector<std::string>& temp_glob,
                                            std::vector<std::string>& nested_asset) {
    if (temp_glob.size() <= 3) {
        nested_asset.insert(nested_asset.end(), temp_glob.begin(), temp_glob.end());
    } else {
        nested_asset.push_back(temp_glob.front());
        nested_asset.push_back(temp_glob.back());
        nested_asset.push_back(temp_glob[temp_glob.size() / 2]);
    }
    return nested_asset;
}

}  // namespace scanflow
