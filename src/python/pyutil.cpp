#include "pyutil.h"

#include "base/errors.h"

namespace scanflow::py_bridge {

std::string text_of(const py::handle& obj) {
    py::object s = py::isinstance<py::str>(obj) ? py::reinterpret_borrow<py::object>(obj)
                                                : py::object(py::str(obj));
    Py_ssize_t size = 0;
    if (const char* utf8 = PyUnicode_AsUTF8AndSize(s.ptr(), &size))
        return std::string(utf8, static_cast<size_t>(size));
    // Surrogate escapes stand for bytes of a name that is not UTF-8: give those bytes back.
    PyErr_Clear();
    PyObject* bytes = PyUnicode_AsEncodedString(s.ptr(), "utf-8", "surrogateescape");
    if (bytes == nullptr) throw py::error_already_set();
    std::string out(PyBytes_AS_STRING(bytes), static_cast<size_t>(PyBytes_GET_SIZE(bytes)));
    Py_DECREF(bytes);
    return out;
}

py::str to_pystr(std::string_view text) {
    PyObject* s =
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "surrogateescape");
    if (s == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(s);
}

py::list to_pylist(const std::vector<std::string>& items) {
    py::list out;
    for (const auto& item : items) out.append(to_pystr(item));
    return out;
}

py::list to_pylist(const TextList& items) {
    py::list out;
    for (std::string_view item : items) out.append(to_pystr(item));
    return out;
}

std::vector<std::string> to_strings(const py::handle& seq) {
    std::vector<std::string> out;
    for (auto item : seq) out.push_back(text_of(item));
    return out;
}

Json to_json(const py::handle& obj) {
    if (obj.is_none()) return nullptr;
    if (py::isinstance<py::bool_>(obj)) return obj.cast<bool>();
    if (py::isinstance<py::int_>(obj)) return obj.cast<long long>();
    if (py::isinstance<py::float_>(obj)) return obj.cast<double>();
    if (py::isinstance<py::str>(obj)) return text_of(obj);
    if (py::isinstance<py::bytes>(obj)) return obj.cast<std::string>();
    if (py::isinstance<py::dict>(obj)) {
        Json out = Json::object();
        for (auto item : obj.cast<py::dict>()) out[text_of(item.first)] = to_json(item.second);
        return out;
    }
    if (py::isinstance<py::list>(obj) || py::isinstance<py::tuple>(obj) ||
        py::isinstance<py::set>(obj) || py::isinstance<py::frozenset>(obj)) {
        Json out = Json::array();
        for (auto item : obj) out.push_back(to_json(item));
        return out;
    }
    return text_of(obj);
}

py::object from_json(const Json& value) {
    switch (value.type()) {
        case Json::value_t::null:
            return py::none();
        case Json::value_t::boolean:
            return py::bool_(value.get<bool>());
        case Json::value_t::number_integer:
            return py::int_(value.get<long long>());
        case Json::value_t::number_unsigned:
            return py::int_(value.get<unsigned long long>());
        case Json::value_t::number_float:
            return py::float_(value.get<double>());
        case Json::value_t::string:
            return to_pystr(value.get<std::string>());
        case Json::value_t::array: {
            py::list out;
            for (const auto& item : value) out.append(from_json(item));
            return out;
        }
        case Json::value_t::object: {
            py::dict out;
            for (const auto& item : value.items())
                out[to_pystr(item.key())] = from_json(item.value());
            return out;
        }
        default:
            return py::none();
    }
}

Value to_value(const py::handle& obj) {
    if (obj.is_none()) return Value();
    if (py::isinstance<py::bool_>(obj)) return Value::integer(obj.cast<bool>() ? 1 : 0);
    if (py::isinstance<py::int_>(obj)) return Value::integer(obj.cast<long long>());
    if (py::isinstance<py::float_>(obj)) return Value::real(obj.cast<double>());
    if (py::isinstance<py::list>(obj) || py::isinstance<py::tuple>(obj)) {
        std::vector<Value> items;
        for (auto item : obj) items.push_back(to_value(item));
        return Value::list(std::move(items));
    }
    return Value::text(text_of(obj));
}

py::object from_value(const Value& value) {
    switch (value.kind()) {
        case Value::Kind::None:
            return py::none();
        case Value::Kind::Int:
            return py::int_(value.as_int());
        case Value::Kind::Float:
            return py::float_(value.as_float());
        case Value::Kind::String:
            return to_pystr(value.as_string());
        case Value::Kind::List: {
            py::tuple out(value.items().size());
            for (size_t i = 0; i < value.items().size(); ++i) out[i] = from_value(value.items()[i]);
            return out;
        }
    }
    return py::none();
}

std::pair<std::string, std::string> describe(py::error_already_set& error) {
    py::object type = error.type();
    std::string module = py::hasattr(type, "__module__") ? text_of(type.attr("__module__")) : "";
    std::string name = text_of(type.attr("__qualname__"));
    std::string type_name = module.empty() || module == "builtins" ? name : module + "." + name;
    std::string message;
    py::object value = error.value();
    try {
        if (py::hasattr(value, "instanceMessage")) {
            message = text_of(value.attr("instanceMessage")());
        }
        if (message.empty()) message = text_of(value);
    } catch (py::error_already_set&) {
        message = "<unprintable " + type_name + ">";
    }
    return {type_name, message};
}

void rethrow_as_core(py::error_already_set& error, const std::string& node,
                     const std::string& parm) {
    if (error.matches(PyExc_SystemExit)) {
        // Python code asking to end the run is an exit request here too.
        py::object code = error.value().attr("code");
        int value = py::isinstance<py::int_>(code) ? code.cast<int>() : (code.is_none() ? 0 : 1);
        error.restore();
        PyErr_Clear();
        throw ExitRequest{value, TraceFrame::current(), {}};
    }
    auto [type_name, message] = describe(error);
    error.restore();
    PyErr_Clear();
    auto dot = type_name.rfind('.');
    std::string bare = dot == std::string::npos ? type_name : type_name.substr(dot + 1);
    if (bare == "LoadWarning") throw LoadWarning(message, type_name);
    throw HostError(message, type_name, node, parm);
}

PyRef::~PyRef() {
    if (!Py_IsInitialized()) {
        obj_.release();
        return;
    }
    py::gil_scoped_acquire gil;
    obj_ = py::object();
}

}  // namespace scanflow::py_bridge
