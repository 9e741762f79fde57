// Redshift proxies (.rs): the files they name, from the renderer's command-line tool or, when
// it is missing or names nothing, from the proxy's bytes. Each proxy is read once per run.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "util/environment.h"
#include "util/fs_cache.h"

namespace scanflow {

// The proxies already read (`rs_asseted`) and the listings the search path is tested against.
struct RedshiftReads {
    std::set<std::string>& rs_asseted;
    DirCache& listings;
    const Environment& environment;  // where the executable search path is read
};

// The tool's path from the executable search path ("" when it is not there).
std::string get_rs_exe(const Environment& env, DirCache& listings);
std::vector<std::string> get_file_from_rs_cmd(const std::string& rs_file, RedshiftReads in);
// One dependency per line of the tool's output; nested proxies first, then the proxy itself.
std::vector<std::string> get_rs_file_from_cmd(const std::string& rs_file, const std::string& exe,
                                              RedshiftReads in);
// Anything in the proxy's bytes that looks like a path with a known image, proxy or volume
// extension.
std::vector<std::string> get_rs_file_with_open(const std::string& rs_file, RedshiftReads in);

}  // namespace scanflow
