// The upload record: local and server forms of every file the scene depends on.
#pragma once

#include <string>
#include <vector>

#include "util/flavour.h"
#include "util/fs_cache.h"
#include "util/json.h"

namespace scanflow {

// {"asset": [{"local", "server"}…], "scene": [{"local", "server", "hash"}]}: every existing file
// of `upload_paths` (directories walked), once, with mapped drives replaced; a USD scene is an
// asset too.
Json gather_upload(const std::vector<std::string>& upload_paths, const std::string& scene,
                   DirCache& listings, Flavour f);

}  // namespace scanflow
