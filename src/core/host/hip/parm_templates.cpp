#include "host/hip/parm_templates.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>

namespace scanflow::hip {

std::vector<std::string> script_tokens(const std::string& script) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < script.size()) {
        char c = script[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '{' || c == '}') {
            out.emplace_back(1, c);
            ++i;
        } else if (c == '"') {
            std::string text;
            for (++i; i < script.size() && script[i] != '"'; ++i) {
                if (script[i] == '\\' && i + 1 < script.size()) ++i;
                text.push_back(script[i]);
            }
            ++i;
            out.push_back("\"" + text);  // marked, so that a quoted brace is no brace
        } else {
            size_t start = i;
            while (i < script.size() && !std::isspace(static_cast<unsigned char>(script[i])) &&
                   script[i] != '{' && script[i] != '}' && script[i] != '"')
                ++i;
            out.push_back(script.substr(start, i - start));
        }
    }
    return out;
}

std::string token_text(const std::string& token) {
    return !token.empty() && token[0] == '"' ? token.substr(1) : token;
}

namespace {

// The token and label pairs of a menu block whose items start at `at`; a menu a script
// generates ("[ ... ]") has no items here.
void read_menu(const std::vector<std::string>& t, size_t at, ParmTemplate& parm) {
    for (size_t j = at; j + 1 < t.size() && t[j] != "}" && t[j + 1] != "}"; j += 2) {
        if (t[j].empty() || t[j][0] != '"' || t[j + 1].empty() || t[j + 1][0] != '"') return;
        parm.menu_tokens.push_back(token_text(t[j]));
        parm.menu_labels.push_back(token_text(t[j + 1]));
    }
}

// Reads the parm block whose "{" is at `at`; returns the index after its "}".
size_t read_block(const std::vector<std::string>& t, size_t at, Templates& out) {
    std::string name;
    ParmTemplate parm;
    bool typed = false;  // a "baseparm" block only refers to the built-in parameter
    int depth = 0;
    size_t i = at;
    for (; i < t.size(); ++i) {
        if (t[i] == "{") {
            ++depth;
        } else if (t[i] == "}") {
            if (--depth == 0) break;
        } else if (depth == 1 && i + 1 < t.size()) {
            if (t[i] == "name") name = token_text(t[i + 1]);
            if (t[i] == "type") {
                parm.type = token_text(t[i + 1]);
                typed = true;
            }
            if (t[i] == "size")
                parm.size = static_cast<size_t>(std::atoi(token_text(t[i + 1]).c_str()));
            if (t[i] == "default" && t[i + 1] == "{") {
                size_t j = i + 2;
                for (; j < t.size() && t[j] != "}" && t[j] != "{"; ++j)
                    parm.defaults.push_back(token_text(t[j]));
                if (j < t.size() && t[j] == "{") parm.defaults.clear();  // an expression default
            }
            if (t[i] == "menu" && t[i + 1] == "{") read_menu(t, i + 2, parm);
        }
    }
    // A string parameter's menu only offers texts: its value stays the token.
    if (parm.type == "string") {
        parm.menu_tokens.clear();
        parm.menu_labels.clear();
    }
    if (!name.empty() && typed && parm.size > 0) out[name] = parm;
    return i + 1;
}

}  // namespace

Templates parse_parm_templates(const std::string& script) {
    Templates out;
    auto t = script_tokens(script);
    for (size_t i = 0; i + 1 < t.size();) {
        if (t[i] == "parm" && t[i + 1] == "{") {
            i = read_block(t, i + 1, out);
        } else {
            ++i;
        }
    }
    return out;
}

std::vector<std::string> component_suffixes(const ParmTemplate& t) {
    const std::string& type = t.type;
    if (type.rfind("vector", 0) == 0 || type.rfind("intvector", 0) == 0 || type == "direction")
        return {"x", "y", "z", "w"};
    if (type.rfind("color", 0) == 0) return {"r", "g", "b", "a"};
    if (type == "uv" || type == "uvw") return {"u", "v", "w"};
    std::vector<std::string> numeric;
    for (size_t i = 1; i <= std::max<size_t>(t.size, 4); ++i) numeric.push_back(std::to_string(i));
    return numeric;
}

bool holds_floats(const ParmTemplate& t) {
    static const std::set<std::string> floats{"float",     "vector", "vector2", "vector4",
                                              "color",     "color4", "uv",      "uvw",
                                              "direction", "angle",  "log"};
    return floats.count(t.type) > 0;
}

bool holds_numbers(const ParmTemplate& t) {
    return holds_floats(t) || t.type == "integer" || t.type == "int" || t.type == "toggle" ||
           t.type.rfind("intvector", 0) == 0;
}

}  // namespace scanflow::hip
