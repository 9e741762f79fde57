// The extension module: load-time set-up, the command line entry and the bindings.
#include <pybind11/pybind11.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bindings.h"
#include "entry/cli.h"
#include "entry/console.h"
#include "entry/errors.h"
#include "entry/state.h"
#include "host/hip/hip_host.h"
#include "host/host.h"
#include "host_hou.h"
#include "pyutil.h"
#include "usd_pxr.h"

namespace py = pybind11;
using namespace scanflow;
using namespace scanflow::py_bridge;

namespace {

void point_console_at_sys_stdout() {
    console::Sink sink;
    sink.write = [](std::string_view text) {
        if (!Py_IsInitialized()) return;
        py::gil_scoped_acquire gil;
        try {
            py::object out = py::module_::import("sys").attr("stdout");
            if (out.is_none()) return;
            out.attr("write")(to_pystr(std::string(text)));
        } catch (py::error_already_set&) {
            // A console that refuses a line must not end the analysis.
        }
    };
    sink.flush = [] {
        if (!Py_IsInitialized()) return;
        py::gil_scoped_acquire gil;
        try {
            py::object out = py::module_::import("sys").attr("stdout");
            if (!out.is_none()) out.attr("flush")();
        } catch (py::error_already_set&) {
        }
    };
    console::set_sink(std::move(sink));
}

bool try_import(py::module_& m, const char* module, const char* attr_name) {
    try {
        m.attr(attr_name) = py::module_::import(module);
        return true;
    } catch (py::error_already_set&) {
        return false;
    }
}

// The host application's module when it imports (or SCANFLOW_HOST=hou), our own scene reader
// otherwise (or SCANFLOW_HOST=hip).
void select_host() {
    const char* forced = std::getenv("SCANFLOW_HOST");
    std::string choice = forced == nullptr ? "" : forced;
    if (choice != "hip") {
        try {
            set_host(make_hou_host());
            return;
        } catch (const std::exception& e) {
            if (choice == "hou") {
                set_no_host_reason(
                    std::string("SCANFLOW_HOST=hou, and the module 'hou' did not import (") +
                    e.what() + ")");
                return;
            }
        }
    }
    set_host(hip::make_hip_host());
}

std::vector<std::string> argv_of_interpreter() {
    std::vector<std::string> argv;
    py::object sys_argv = py::module_::import("sys").attr("argv");
    for (auto item : sys_argv) argv.push_back(text_of(item));
    return argv;
}

}  // namespace

PYBIND11_MODULE(scanflow, m) {
    m.doc() = "Dependency and settings analysis of Houdini scenes for render-farm submission.";
    point_console_at_sys_stdout();
    register_errors(m);

    py::module_ sys = py::module_::import("sys");
    sys.attr("setrecursionlimit")(1000000);
    ModuleState& s = state();
    py::object version = sys.attr("version_info");
    s.script_version = "py" + std::to_string(version.attr("major").cast<int>());
    s.script_ver_py = "py" + std::to_string(version.attr("major").cast<int>()) +
                      std::to_string(version.attr("minor").cast<int>());
    s.IS_WIN =
        text_of(py::module_::import("platform").attr("system")()).find("Win") != std::string::npos;

    s.has_arnold = try_import(m, "arnold", "ar");
    if (!s.has_arnold) console::print("no arnold");
    s.has_usd = try_import(m, "pxr.Usd", "Usd");
    if (!s.has_usd) console::print("no Usd");
    if (try_import(m, "hjson", "houjson")) {
        s.r_type = "rb";
    } else {
        try_import(m, "json", "houjson");
        s.r_type = "r";
    }
    s.platform_name = text_of(sys.attr("platform"));
    select_host();
    set_usd(make_pxr_facade());

    bind_entry(m);
    bind_drivers(m);
    bind_util(m);
    bind_scan(m);

    m.def(
        "main",
        [] {
            std::vector<std::string> argv = argv_of_interpreter();
            py::object file =
                py::module_::import("sys").attr("modules")["scanflow"].attr("__file__");
            state().module_file = text_of(file);
            int code = 0;
            {
                py::gil_scoped_release release;
                code = run_command_line(argv);
            }
            throw ExitRequest{code, {}};
        },
        "Runs the command line in sys.argv and ends the process with the run's exit code.");
}
