// Drive letters that stand for network shares (G_WIN_MNT_MAP), rewritten to the share's folder
// name.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "util/environment.h"
#include "util/flavour.h"
#include "util/json.h"

namespace scanflow {

// Drive as written ("A:") to the share's last folder, in the order of the mount map.
using DriveMap = std::vector<std::pair<std::string, std::string>>;

// The mount map of G_WIN_MNT_MAP (the JSON object after its last ";"); empty when unset or not
// an object; a text that is not JSON prints a warning.
Json win_mount_map(const Environment& env);
// Drives whose share ends in a folder of another name than the drive's letter.
DriveMap drive_replacement_map(const Environment& env, Flavour f);
// The path with a mapped drive at its start (A:/… or /A/…) replaced by the share's folder.
std::string replace_drive_in_path(std::string path, const DriveMap& replacement_map);

}  // namespace scanflow
