// The extension module: load-time set-up, the command line entry and the bindings.
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "base/errors.h"
#include "bindings.h"
#include "console_relay.h"
#include "drivers/cli.h"
#include "module_services.h"
#include "pyutil.h"
#include "usd_pxr.h"

namespace py = pybind11;

namespace {

using scanflow::py_bridge::ReleasedInterpreter;
using scanflow::py_bridge::text_of;
using scanflow::py_bridge::to_pystr;

std::vector<std::string> argv_of_interpreter() {
    std::vector<std::string> argv;
    for (auto item : py::module_::import("sys").attr("argv")) argv.push_back(text_of(item));
    return argv;
}

// Runs the command line in sys.argv and ends the process with the run's exit code.
void main_entry() {
    std::vector<std::string> argv = argv_of_interpreter();
    py::object file = py::module_::import("sys").attr("modules")["scanflow"].attr("__file__");
    scanflow::py_bridge::module_state().module_file = text_of(file);
    scanflow::py_bridge::point_people_at_sys_stderr();
    scanflow::Services& services = scanflow::py_bridge::module_services();
    // The process is ours; a thread limit the user set is the library's to apply.
    if (services.environment.text("PXR_WORK_THREAD_LIMIT").empty())
        scanflow::py_bridge::keep_library_on_one_thread(services.usd);
    int code = 0;
    {
        ReleasedInterpreter release;
        code = scanflow::run_command_line(argv, services);
    }
    // The process ends with the run. As the interpreter shuts down, its collector would take
    // apart every module the run imported (the USD library's wrappers by the thousand); frozen,
    // they are left to the process's end, as the run's own results are already written.
    py::module_::import("gc").attr("freeze")();
    throw scanflow::ExitRequest{code, {}, {}};
}

}  // namespace

PYBIND11_MODULE(scanflow, m) {
    namespace bridge = scanflow::py_bridge;
    m.doc() = "Dependency and settings analysis of Houdini scenes for render-farm submission.";
    m.attr("__version__") = SCANFLOW_VERSION;
    bridge::point_console_at_sys_stdout();
    bridge::register_errors(m);
    bridge::set_up_module(m);

    bridge::bind_base(m);
    bridge::bind_util(m);
    bridge::bind_scan(m);
    bridge::bind_tasks(m);
    bridge::bind_drivers(m);

    m.def("main", &main_entry,
          "Runs the command line in sys.argv and ends the process with the run's exit code.");
}
