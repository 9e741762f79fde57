#include "safe_import.h"

#include <pybind11/eval.h>

#include <memory>

namespace scanflow::py_bridge {

namespace py = pybind11;

namespace {

// The working directory stands on the search path as "" (python -c, hython -c) or as its own
// name; both are left out when the top-level package is looked for. Submodules are then found
// inside the package that was found.
const char* kSafeImport = R"py(
import importlib
import importlib.machinery
import importlib.util
import os
import sys


def _search_path():
    try:
        here = os.path.realpath(os.getcwd())
    except OSError:
        here = None
    return [p for p in sys.path if p and isinstance(p, str) and os.path.realpath(p) != here]


def installed(name):
    top = name.partition(".")[0]
    if top in sys.modules:
        return getattr(sys.modules[top], "__spec__", True) is not None
    return importlib.machinery.PathFinder.find_spec(top, _search_path()) is not None


def _load(name, spec):
    module = importlib.util.module_from_spec(spec)
    sys.modules[name] = module
    try:
        spec.loader.exec_module(module)
    except BaseException:
        sys.modules.pop(name, None)
        raise
    return module


def import_installed(name):
    top = name.partition(".")[0]
    if top not in sys.modules:
        spec = importlib.machinery.PathFinder.find_spec(top, _search_path())
        if spec is None:
            raise ModuleNotFoundError("No module named %r" % top, name=top)
        _load(top, spec)
    return importlib.import_module(name)


def import_file(name, path):
    known = sys.modules.get(name)
    if known is not None and getattr(known, "__file__", None) == path:
        return known
    spec = importlib.util.spec_from_file_location(name, path)
    if spec is None:
        raise ModuleNotFoundError("No module file %s" % path, name=name)
    return _load(name, spec)
)py";

py::dict& helpers() {
    // Never released: the interpreter may end before the module's statics.
    static py::dict* scope = [] {
        auto* d = new py::dict();
        py::exec(kSafeImport, *d);
        return d;
    }();
    return *scope;
}

}  // namespace

py::object import_installed(const char* name) {
    return helpers()["import_installed"](name);
}

bool installed(const char* name) {
    return helpers()["installed"](name).cast<bool>();
}

py::object import_file(const char* name, const std::string& path) {
    return helpers()["import_file"](name, path);
}

py::object import_installed_function() {
    return helpers()["import_installed"];
}

}  // namespace scanflow::py_bridge
