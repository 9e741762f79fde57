// The module-wide state: facts fixed at load time and the collections through which the scan,
// the USD analysis and the output writer hand results to each other. The module owns one and
// hands it to every analysis by reference.
#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "base/text_list.h"
#include "run/parameter_patterns.h"
#include "run/recorded_variants.h"
#include "util/environment.h"
#include "util/flavour.h"

namespace scanflow {

struct ModuleState {
    // Facts fixed at load time.
    std::string script_version = "py3";
    std::string script_ver_py = "py3";
    bool IS_WIN = false;
    bool has_arnold = false;  // the `arnold` binding imported
    bool has_usd = false;     // `pxr.Usd` imported
    std::string r_type = "r";
    std::vector<std::string> env_i{"PXR_AR_DEFAULT_SEARCH_PATH"};
    std::string module_file;              // the file the module was loaded from
    std::string platform_name = "linux";  // the interpreter's platform name (sys.platform)
    std::string interpreter_version;      // "3.11.2"
    // Threads for independent file-system work: SCANFLOW_THREADS, else the machine's.
    unsigned threads = 1;

    // Collections: filled once by one analysis, never cleared.
    TextList GLOBAL_ALL_ORIGINOL_LIST;  // every pattern read, repeats included
    // Each file parameter's pattern. The host-visible GLOBAL_ALL_ORIGINOL_JSON is the same with
    // forward slashes.
    ParameterPatterns ALL_NODE;
    std::vector<std::string> problem_nodes_list;
    std::set<std::string> texture_searchpaths;
    std::vector<std::string> otls_assetpath;
    RecordedVariants need_varian_usd;
    bool instance_flag = false;

    // Prefixes of the farm machines' own software and work areas. The prefix test lower-cases
    // them in place once, under `protect_path_mutex`.
    std::vector<std::string> protect_path;
    bool protect_path_lowered = false;
    std::mutex protect_path_mutex;

    // The thread count comes from SCANFLOW_THREADS when `env` sets it.
    explicit ModuleState(const Environment& env);
    // Empties the collections. An analysis never does (a process runs one analysis); tests that
    // run several in one process do.
    void clear_collections();
    // The path rules of the platform the run behaves as.
    Flavour flavour() const { return Flavour{IS_WIN}; }
};

const std::vector<std::string>& default_protect_path();

// The pool size SCANFLOW_THREADS asks for, else the machine's number of threads.
unsigned configured_threads();

// The operating-system name as the platform reports it ("Linux", "Windows", "Darwin").
std::string platform_system();

}  // namespace scanflow
