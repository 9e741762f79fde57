// The extension module: load-time set-up, the command line entry and the bindings.
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "base/console.h"
#include "base/errors.h"
#include "base/people.h"
#include "bindings.h"
#include "drivers/cli.h"
#include "module_services.h"
#include "pyutil.h"

namespace py = pybind11;

namespace {

using scanflow::py_bridge::text_of;
using scanflow::py_bridge::to_pystr;

// Writes to (or, with no text, flushes) one of the interpreter's streams, "stdout" or "stderr".
// A stream that refuses must not end the analysis.
void to_sys_stream(const char* stream, const std::string* text) {
    if (!Py_IsInitialized()) return;
    py::gil_scoped_acquire gil;
    try {
        py::object out = py::module_::import("sys").attr(stream);
        if (out.is_none()) return;
        if (text) out.attr("write")(to_pystr(*text));
        if (!text || std::string(stream) == "stderr") out.attr("flush")();
    } catch (py::error_already_set&) {
    }
}

void point_console_at_sys_stdout() {
    scanflow::console::Sink sink;
    sink.write = [](std::string_view text) {
        std::string line(text);
        to_sys_stream("stdout", &line);
    };
    sink.flush = [] { to_sys_stream("stdout", nullptr); };
    scanflow::console::set_sink(std::move(sink));
}

// Messages for a person go to the interpreter's sys.stderr; the progress line only when it is
// a terminal.
void point_people_at_sys_stderr() {
    bool terminal = false;
    try {
        py::object err = py::module_::import("sys").attr("stderr");
        terminal = !err.is_none() && err.attr("isatty")().cast<bool>();
    } catch (py::error_already_set&) {
    }
    scanflow::people::Sink sink;
    sink.terminal = terminal;
    sink.write = [](std::string_view text) {
        std::string line(text);
        to_sys_stream("stderr", &line);
    };
    scanflow::people::set_sink(std::move(sink));
}

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
    point_people_at_sys_stderr();
    int code = 0;
    {
        py::gil_scoped_release release;
        code = scanflow::run_command_line(argv, scanflow::py_bridge::module_services());
    }
    throw scanflow::ExitRequest{code, {}};
}

}  // namespace

PYBIND11_MODULE(scanflow, m) {
    namespace bridge = scanflow::py_bridge;
    m.doc() = "Dependency and settings analysis of Houdini scenes for render-farm submission.";
    m.attr("__version__") = SCANFLOW_VERSION;
    point_console_at_sys_stdout();
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
