// The parameter templates of the host's built-in node types that the analysis reads: our own
// record of what lives in the host's installation and not in the scene.
#pragma once

#include <map>
#include <string>

#include "host/hip/parm_templates.h"

namespace scanflow::hip {

// Node type name -> its catalogued parameters.
using Catalogue = std::map<std::string, Templates>;

// Reads a catalogue written in the catalogue's own notation; std::logic_error names the word
// where it is malformed.
Catalogue read_catalogue(const std::string& text);

// The catalogue the layer uses, read once.
const Catalogue& node_catalogue();

// Whether a built-in node type is an asset whose contents, which the host application keeps in
// its installation and cooks, hold a render or output driver: the host finds that driver, our
// reader cannot.
bool holds_output_drivers(const std::string& node_type);

// The catalogued template of a built-in node type's parameter, or null.
const ParmTemplate* builtin_template(const std::string& node_type, const std::string& parm);

}  // namespace scanflow::hip
