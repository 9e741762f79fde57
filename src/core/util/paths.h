// Path forms (long-path, server) and the two listings: recursive and wildcard expansion.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "util/flavour.h"
#include "util/fs_cache.h"

namespace scanflow {

// Windows long-path form of a path longer than 250 characters; shorter ones unchanged.
std::string unc_path(std::string_view file_path);
// The server form: /C/proj/a.exr for c:/proj/a.exr, /host/share/a for //host/share/a.
std::string convert_path(std::string_view file_path, Flavour f);
// The server form of a path that is already normalised with "/" separators.
std::string server_form(std::string normalised);
void list_lower(std::vector<std::string>& paths);
// Every file below `dir_path`, walk order, "/" separators.
std::vector<std::string> get_files(const std::string& dir_path, DirCache& listings, Flavour f);
// Wildcard expansion with the ".tex" rule, "/" separators.
std::vector<std::string> glob_file(const std::string& pattern, DirCache& listings, Flavour f);
// Wildcard expansion alone: directory order, separators as found. A path beyond the expansion's
// bounds matches nothing, and standard error names it.
std::vector<std::string> glob(const std::string& pattern, DirCache& listings, Flavour f);
// ".tx" and ".rstexbin" counterparts of a texture that exist.
std::vector<std::string> checkCacheFile(const std::string& path, DirCache& listings, Flavour f);

// Shell-style match of one name against one pattern component (*, ?, [...], [!...]).
bool fnmatch(std::string_view name, std::string_view pattern, Flavour f);
bool has_magic(std::string_view text);

// A path as the operating system of this process can open it.
std::string os_path(std::string_view path, Flavour f);

}  // namespace scanflow
