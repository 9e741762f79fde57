// The renderer's own reader of Arnold scene files, over its Python binding `arnold`.
#pragma once

#include <string>
#include <vector>

namespace scanflow::py_bridge {

// The "filename" strings of the scene's MayaFile, image, procedural and alembic nodes, each
// once, in the order of calls the renderer's scripting interface expects.
std::vector<std::string> arnold_file_names(const std::string& ass);

}  // namespace scanflow::py_bridge
