// Optional modules (the host's, Arnold's, USD's, the GPU probes') imported as installed: a
// scene's folder is often the working directory, and a file there named like one of them must
// never be run by the analysis.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace scanflow::py_bridge {

// Imports `name` (dotted names too) with its top-level package found on the search path less
// the working directory; an ImportError when it is not installed.
pybind11::object import_installed(const char* name);
// The module of that name loaded from that very file (and kept under the name), whatever the
// search path holds.
pybind11::object import_file(const char* name, const std::string& path);
// Whether a top-level module is installed outside the working directory; nothing is imported.
bool installed(const char* name);
// The Python function behind import_installed, for code the module runs in the interpreter.
pybind11::object import_installed_function();

}  // namespace scanflow::py_bridge
