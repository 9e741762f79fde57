// Conversions between the interpreter's objects and the core's records, and the boundary rule
// for Python exceptions.
#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/text_list.h"
#include "console_relay.h"
#include "host/value.h"
#include "util/json.h"

namespace scanflow::py_bridge {

namespace py = pybind11;

Json to_json(const py::handle& obj);
py::object from_json(const Json& value);
Value to_value(const py::handle& obj);
py::object from_value(const Value& value);

// Text of a str (surrogate escapes kept as the bytes they stand for) or of any object's str().
std::string text_of(const py::handle& obj);
// A Python str for core text that may hold bytes that are not UTF-8.
py::str to_pystr(std::string_view text);

// Lists of text between the interpreter and the core.
py::list to_pylist(const std::vector<std::string>& items);
py::list to_pylist(const TextList& items);
std::vector<std::string> to_strings(const py::handle& seq);

// The type name and message of the Python exception being handled.
std::pair<std::string, std::string> describe(py::error_already_set& error);

// Throws the core error that stands for a Python exception: LoadWarning for the host's load
// warnings, HostError otherwise, keeping the Python type name and message.
[[noreturn]] void rethrow_as_core(py::error_already_set& error, const std::string& node = {},
                                  const std::string& parm = {});

// Runs `fn` with the interpreter lock held, turning Python exceptions into core errors. Console
// lines that waited for the lock go out first.
template <typename Fn>
auto call_python(Fn&& fn, const std::string& node = {}, const std::string& parm = {})
    -> decltype(fn()) {
    py::gil_scoped_acquire gil;
    deliver_waiting_console_lines();
    try {
        return fn();
    } catch (py::error_already_set& e) {
        rethrow_as_core(e, node, parm);
    }
}

// As call_python, naming the node or parameter `where()` gives in the error; `where` runs only
// when there is an error to name.
template <typename Fn, typename Where>
auto call_python_at(Fn&& fn, Where&& where, bool is_parm) -> decltype(fn()) {
    py::gil_scoped_acquire gil;
    deliver_waiting_console_lines();
    try {
        return fn();
    } catch (py::error_already_set& e) {
        std::string place;
        try {
            place = where();
        } catch (...) {
        }
        if (is_parm) rethrow_as_core(e, {}, place);
        rethrow_as_core(e, place, {});
    }
}

// Binds `fn(self, path)` as the method `name` taking one path argument `arg` and returning a
// list of paths, with the interpreter lock released while it runs.
template <typename Cls, typename Fn>
void bind_path_reader(Cls& cls, const char* name, const char* arg, Fn fn) {
    cls.def(
        name,
        [fn](typename Cls::type& self, const py::object& path) {
            std::string p = text_of(path);
            std::vector<std::string> found;
            {
                ReleasedInterpreter release;
                found = fn(self, p);
            }
            return to_pylist(found);
        },
        py::arg(arg));
}

// A reference to a Python object that may be dropped on any thread.
class PyRef {
public:
    explicit PyRef(py::object obj) : obj_(std::move(obj)) {}
    ~PyRef();
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    const py::object& get() const { return obj_; }

private:
    py::object obj_;
};

}  // namespace scanflow::py_bridge
