#include "run/module_state.h"

#include <algorithm>
#include <cstdlib>

#include "base/numbers.h"
#include "base/os.h"
#include "base/people.h"
#include "util/work_pool.h"

namespace scanflow {

const std::vector<std::string>& default_protect_path() {
    static const std::vector<std::string> prefixes{"C:/Users/Administrator/",
                                                   "C:/Users/cs/",
                                                   "C:/Users/cyg_server/",
                                                   "C:/Users/Default/",
                                                   "C:/Users/enfuzion/",
                                                   "C:/Users/Public/",
                                                   "C:/7-Zip/",
                                                   "C:/7-AMPED/",
                                                   "C:/apache-flume-1.8.0-bin/",
                                                   "C:/bat/",
                                                   "C:/cygwin64/",
                                                   "C:/enfwork/",
                                                   "C:/fcopy/",
                                                   "C:/Flexlm/",
                                                   "C:/icon/",
                                                   "C:/ImageMagick/",
                                                   "C:/log/",
                                                   "C:/PerfLogs/",
                                                   "C:/oiio/",
                                                   "C:/Program Files/",
                                                   "C:/Program Files (x86)/",
                                                   "C:/ProgramData",
                                                   "C:/Python27/",
                                                   "C:/Python34/",
                                                   "C:/QNNodeService/",
                                                   "C:/quillnestwork/",
                                                   "C:/renderwork/",
                                                   "C:/rlm/",
                                                   "C:/salt/",
                                                   "C:/script/",
                                                   "C:/solidangle/",
                                                   "C:/temp/",
                                                   "C:/tools/",
                                                   "C:/Windows/",
                                                   "C:/work/",
                                                   "D:/work/",
                                                   "D:/7-Zip/",
                                                   "D:/enfwork/",
                                                   "D:/log/",
                                                   "D:/luts/",
                                                   "D:/plugins/",
                                                   "D:/renderwork/",
                                                   "D:/TD/",
                                                   "D:/Temp/",
                                                   "D:/apache-flume-1.8.0/",
                                                   "D:/renderman/"};
    return prefixes;
}

std::string platform_system() {
    return os::system_name();
}

unsigned configured_threads(const Environment& env) {
    std::string text = env.text("SCANFLOW_THREADS");
    if (text.empty()) return machine_threads();
    auto value = int_of_text(text);
    if (value && *value > 0) return static_cast<unsigned>(std::min(*value, 256LL));
    people::tell("scanflow: SCANFLOW_THREADS=" + text +
                 " is not a positive whole number; the machine's " +
                 std::to_string(machine_threads()) + " cores are used");
    return machine_threads();
}

ModuleState::ModuleState(const Environment& env)
    : IS_WIN(platform_system().find("Win") != std::string::npos),
      threads(configured_threads(env)),
      protect_path(default_protect_path()) {}

void ModuleState::clear_collections() {
    GLOBAL_ALL_ORIGINOL_LIST.clear();
    ALL_NODE.clear();
    problem_nodes_list.clear();
    texture_searchpaths.clear();
    otls_assetpath.clear();
    need_varian_usd.clear();
    instance_flag = false;
}

}  // namespace scanflow
