#include "arnold_binding.h"

#include <algorithm>

#include "pyutil.h"
#include "safe_import.h"

namespace scanflow::py_bridge {

std::vector<std::string> arnold_file_names(const std::string& ass) {
    return call_python([&] {
        py::object ar = import_installed("arnold");
        std::vector<std::string> names;
        ar.attr("AiBegin")();
        std::string version = text_of(ar.attr("AiGetVersionString")());
        py::object iterator;
        auto all = ar.attr("AI_NODE_ALL");
        auto log_all = ar.attr("AI_LOG_ALL");
        if (version >= "7.4.0.0") {  // compared as text, as the renderer's scripts do
            py::object universe = ar.attr("AiUniverse")();
            ar.attr("AiSceneLoad")(universe, to_pystr(ass), py::none());
            iterator = ar.attr("AiUniverseGetNodeIterator")(universe, all);
        } else {
            try {
                ar.attr("AiMsgSetConsoleFlags")(log_all);
                ar.attr("AiASSLoad")(to_pystr(ass), all);
                iterator = ar.attr("AiUniverseGetNodeIterator")(all);
            } catch (py::error_already_set&) {
                py::object universe = ar.attr("AiUniverse")();
                ar.attr("AiMsgSetConsoleFlags")(universe, log_all);
                ar.attr("AiASSLoad")(universe, to_pystr(ass), all);
                iterator = ar.attr("AiUniverseGetNodeIterator")(universe, all);
            }
        }
        while (!ar.attr("AiNodeIteratorFinished")(iterator).cast<bool>()) {
            py::object node = ar.attr("AiNodeIteratorGetNext")(iterator);
            for (const char* type : {"MayaFile", "image", "procedural", "alembic"}) {
                if (!ar.attr("AiNodeIs")(node, type).cast<bool>()) continue;
                std::string name = text_of(ar.attr("AiNodeGetStr")(node, "filename"));
                if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
                    names.push_back(name);
                break;
            }
        }
        ar.attr("AiNodeIteratorDestroy")(iterator);
        ar.attr("AiEnd")();
        return names;
    });
}

}  // namespace scanflow::py_bridge
