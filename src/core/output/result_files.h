// Writers of the result files the submission client reads.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "util/json.h"
#include "util/json_writer.h"

namespace scanflow {

// Writes `info_dict` as a new JSON file (whole or not at all), with the progress events.
void writeFile(const std::string& info_file, const Json& info_dict);
// The same for a record that `write` streams a value at a time.
void writeFile(const std::string& info_file, const std::function<void(JsonWriter&)>& write);

// asset.txt: the scene, the missing files, the asset lines; CRLF line ends.
void write_asset_txt(const std::string& info_file, const Json& missing,
                     const std::vector<std::string>& files, const std::string& scene_file);

}  // namespace scanflow
