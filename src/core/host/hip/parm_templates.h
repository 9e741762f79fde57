// Parameter templates: what the host knows of a parameter beyond its saved value (its type,
// its tuple size and so the names of its components). A scene saves the templates of a node's
// spare parameters as a dialog script; those of the host's built-in node types live in the
// host's installation, so the ones the analysis reads are catalogued (node_catalogue.h).
#pragma once

#include <map>
#include <string>
#include <vector>

namespace scanflow::hip {

struct ParmTemplate {
    std::string type = "float";  // the dialog script's type: float, integer, vector, toggle, ...
    size_t size = 1;
    std::vector<std::string> defaults;  // per component, as written; empty when not known
    // An ordinal menu's tokens (a saved token reads as its index) and their labels.
    std::vector<std::string> menu_tokens;
    std::vector<std::string> menu_labels;
};

using Templates = std::map<std::string, ParmTemplate>;

// Words, quoted texts and braces of a dialog script; a quoted text keeps a leading '"' as its
// mark, so that a quoted brace is no brace.
std::vector<std::string> script_tokens(const std::string& script);
// A token's text, without the mark of a quoted text.
std::string token_text(const std::string& token);

// The parm blocks of a dialog script, by parameter name; blocks it cannot read are skipped.
Templates parse_parm_templates(const std::string& script);

// The component suffixes of a tuple of this template: x y z w for vectors, r g b a for colours,
// u v w for texture coordinates, 1 2 3 ... otherwise.
std::vector<std::string> component_suffixes(const ParmTemplate& t);
// Whether the tuple's numbers are floats (1 reads as 1.0) rather than integers.
bool holds_floats(const ParmTemplate& t);
// Whether the tuple holds numbers (floats, integers, toggles) rather than text (strings, paths,
// node paths, menus' tokens).
bool holds_numbers(const ParmTemplate& t);

}  // namespace scanflow::hip
