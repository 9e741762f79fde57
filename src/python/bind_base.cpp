// Bindings of the ground floor: errors, the module's collections, console helpers and the
// timing wrapper.
#include <pybind11/stl.h>

#include "base/console.h"
#include "base/errors.h"
#include "base/text.h"
#include "base/timed.h"
#include "bindings.h"
#include "host/value_json.h"
#include "module_services.h"
#include "pyutil.h"

namespace scanflow::py_bridge {

namespace {

template <typename Form>
py::dict patterns_dict(const ParameterPatterns& patterns, Form form) {
    py::dict out;
    for (const auto& [parm, pattern] : patterns.entries())
        out[to_pystr(parm)] = to_pystr(form(pattern));
    return out;
}

// One dictionary per recording: {layer: {prim pattern: {"variantset": .., "variantname": ..}}}
// or {layer: {set name: selection}}; {} for a node that recorded nothing.
py::list variants_list(const RecordedVariants& recorded) {
    py::list out;
    for (const LayerVariants& entry : recorded) {
        py::dict one;
        if (entry.layer) {
            py::dict variants;
            for (const RecordedVariant& v : entry.variants) {
                py::object picked = to_pystr(v.selection);
                if (v.for_prims) {
                    py::dict pair;
                    pair["variantset"] = from_json(value_json(v.variantset));
                    pair["variantname"] = from_json(value_json(v.variantname));
                    picked = pair;
                }
                variants[to_pystr(v.key)] = picked;
            }
            one[to_pystr(*entry.layer)] = variants;
        }
        out.append(one);
    }
    return out;
}

py::object state_attribute(const std::string& name) {
    ModuleState& s = module_state();
    if (name == "GLOBAL_ALL_ORIGINOL_LIST") return to_pylist(s.GLOBAL_ALL_ORIGINOL_LIST);
    if (name == "GLOBAL_ALL_ORIGINOL_JSON") return patterns_dict(s.ALL_NODE, slashes_forward);
    if (name == "ALL_NODE")
        return patterns_dict(s.ALL_NODE, [](const std::string& p) { return p; });
    if (name == "problem_nodes_list") return to_pylist(s.problem_nodes_list);
    if (name == "texture_searchpaths") {
        py::set out;
        for (const auto& item : s.texture_searchpaths) out.add(to_pystr(item));
        return out;
    }
    if (name == "otls_assetpath") return to_pylist(s.otls_assetpath);
    if (name == "need_varian_usd") return variants_list(s.need_varian_usd);
    if (name == "instance_flag") return py::bool_(s.instance_flag);
    if (name == "protect_path") {
        std::lock_guard lock(s.protect_path_mutex);
        return to_pylist(s.protect_path);
    }
    if (name == "script_version") return to_pystr(s.script_version);
    if (name == "script_ver_py") return to_pystr(s.script_ver_py);
    if (name == "IS_WIN") return py::bool_(s.IS_WIN);
    if (name == "env_i") return to_pylist(s.env_i);
    if (name == "r_type") return to_pystr(s.r_type);
    if (name == "Usd" && s.has_usd) return py::module_::import("pxr.Usd");
    throw py::attribute_error("module 'scanflow' has no attribute '" + name + "'");
}

// Runs a Python callable inside the core's wrapper: Python errors are ordinary errors there,
// and SystemExit is an exit request.
py::object call_wrapped(int level, const std::string& name, const py::object& fn,
                        const py::args& args, const py::kwargs& kwargs) {
    auto body = [&]() -> py::object {
        try {
            return fn(*args, **kwargs);
        } catch (py::error_already_set& e) {
            rethrow_as_core(e);
        }
    };
    if (level == 1) {
        timed(1, name, [&] { (void)body(); });
        return py::none();
    }
    return timed(level, name, body);
}

}  // namespace

void register_errors(py::module_& m) {
    static py::exception<Error> error(m, "Error", PyExc_RuntimeError);
    static py::exception<OptionError> option_error(m, "OptionError", error.ptr());
    static py::exception<FileError> file_error(m, "FileError", PyExc_OSError);
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const ExitRequest& request) {
            PyErr_SetObject(PyExc_SystemExit, py::int_(request.code).ptr());
        } catch (const FileError& e) {
            py::set_error(file_error, e.what());
        } catch (const OptionError& e) {
            py::set_error(option_error, e.what());
        } catch (const Error& e) {
            std::string text = e.type_name() + ": " + e.what();
            py::set_error(error, text.c_str());
        }
    });
}

void bind_base(py::module_& m) {
    m.def("__getattr__", &state_attribute, py::arg("name"));

    m.def(
        "print_cmd",
        [](const py::object& exit_info, double sleep, const py::object& exit_code) {
            std::string info = text_of(exit_info);
            std::string code = text_of(exit_code);
            ReleasedInterpreter release;
            console::print_cmd(info, sleep, code);
        },
        py::arg("exit_info"), py::arg("sleep") = 0.3, py::arg("exit_code") = "200",
        "Writes one progress event line for the submission client and pauses.");
    m.def(
        "print_times",
        [](const py::object& info, const py::object& ext) {
            console::print_times(text_of(info), text_of(ext));
        },
        py::arg("info"), py::arg("ext") = "info");

    m.def(
        "montion",
        [](const py::object& lev) {
            int level = py::isinstance<py::int_>(lev) && lev.cast<int>() == 1 ? 1 : 2;
            return py::cpp_function([level](const py::object& fn) {
                std::string name = text_of(py::getattr(fn, "__name__", py::str("function")));
                py::object warp = py::cpp_function(
                    [level, name, fn](const py::args& args, const py::kwargs& kwargs) {
                        return call_wrapped(level, name, fn, args, kwargs);
                    });
                return warp;
            });
        },
        py::arg("lev"),
        "Makes the timing wrapper of level `lev`: 1 prints START/END banners, others are quiet; "
        "an error escaping the wrapped function becomes an exit request with code 886.");
}

}  // namespace scanflow::py_bridge
