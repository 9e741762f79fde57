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

// When the renderer's own binding is available the extension module routes the reading to it.
void set_arnold_reader(std::function<std::vector<std::string>(const std::string&)> reader);
std::vector<std::string> get_ass_path(const std::string& ass);

}  // namespace scanflow
