#include "scan/special_settings.h"

#include <algorithm>
#include <optional>

#include "base/console.h"
#include "base/errors.h"

namespace scanflow {

void clear_special_setting(Parm& parm) {
    try {
        if (parm.isLocked()) parm.lock(false);
        parm.deleteAllKeyframes();
    } catch (const std::exception& e) {
        std::string where;
        try {
            where = parm.path();
        } catch (const std::exception&) {
            where = "<parameter>";
        }
        console::print(where);
        console::print("traceback.format_exc():\n" + format_trace(TraceFrame::current(), e));
        request_exit(555, "cannot clear the animation of " + where + ": " + cause_of(e));
    }
}

void get_otls(Node& node, std::vector<std::string>& otls_assetpath) {
    std::optional<std::string> library = node.type_library_path();
    if (!library) return;
    if (*library == "Embedded") {
        console::print("HDA is embedded. Cannot version up");
        return;
    }
    if (std::find(otls_assetpath.begin(), otls_assetpath.end(), *library) == otls_assetpath.end())
        otls_assetpath.push_back(*library);
}

}  // namespace scanflow
