// Arnold scene files (.ass, .ass.gz): the files their nodes name.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace scanflow {

// The "filename" strings of the MayaFile, image, procedural and alembic nodes of an Arnold scene
// file, each once, in node order; read by our own tokenizer (gzip detected by its bytes). A
// file that cannot be read or parsed is an Error naming it.
std::vector<std::string> read_ass_file_names(const std::string& path);

// The renderer's own reader, when its binding is available to the extension module.
using ArnoldReader = std::function<std::vector<std::string>(const std::string&)>;

// The files an Arnold scene file names: through the renderer's reader when there is one, else
// through ours.
std::vector<std::string> get_ass_path(const std::string& ass, const ArnoldReader& arnold);

}  // namespace scanflow
