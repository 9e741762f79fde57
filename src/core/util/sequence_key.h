// Frame and tile tokens of file names, and the sample of a sequence that stands for all of it.
#pragma once

#include <string>
#include <vector>

namespace scanflow {

// A file name with every frame or tile token replaced by a wildcard: tex/wall.$F4.exr and
// tex/wall.<UDIM>.exr both give tex/wall.*[0-9].exr.
std::string sequence_key(const std::string& file_name);

// Appends a sample of one sequence's files to `nested_asset` (all of up to three, else first,
// last and middle) and returns it.
std::vector<std::string>& add_sequence_file(const std::vector<std::string>& temp_glob,
                                            std::vector<std::string>& nested_asset);

}  // namespace scanflow
