// Bindings of the path and file utilities.
#include <pybind11/stl.h>

#include "base/errors.h"
#include "base/timed.h"
#include "bindings.h"
#include "module_services.h"
#include "pyutil.h"
#include "util/encoding.h"
#include "util/exclusions.h"
#include "util/file_facts.h"
#include "util/fs_cache.h"
#include "util/paths.h"
#include "util/tx_counterparts.h"

namespace scanflow::py_bridge {

namespace {

// Writes `items` back into the caller's list, in place.
void assign_list(py::list& target, const std::vector<std::string>& items) {
    for (size_t i = 0; i < items.size() && i < py::len(target); ++i) target[i] = to_pystr(items[i]);
}

std::optional<std::string> optional_text(const py::handle& value) {
    if (value.is_none()) return std::nullopt;
    return text_of(value);
}

py::object optional_str(const std::optional<std::string>& value) {
    if (!value) return py::none();
    return to_pystr(*value);
}

// A wrapped operation given a value it cannot work on fails as the wrapper makes it fail.
[[noreturn]] void wrapped_type_error(const char* name, const py::handle& value) {
    std::string type = text_of(py::type::of(value).attr("__name__"));
    timed(2, name, [&]() -> int {
        throw Error(std::string(name) + "() needs text, not '" + type + "'", "TypeError");
    });
    throw std::logic_error("unreachable");
}

std::string require_text(const char* name, const py::handle& value) {
    if (!py::isinstance<py::str>(value)) wrapped_type_error(name, value);
    return text_of(value);
}

py::tuple tx_result(const TxResult& result) {
    return py::make_tuple(to_pylist(result.first), to_pylist(result.second));
}

}  // namespace

// A run-wide listing cache for host scripts and benchmarks: `with scanflow.listing_cache() as c:`
// lists each directory once for everything inside the block.
class ListingCacheScope {
public:
    void enter() {
        if (!held_) held_ = hold_script_listings();
    }
    void exit() { held_.reset(); }
    size_t reads() const { return script_listing_reads(); }

private:
    std::shared_ptr<DirCache> held_;
};

Flavour flavour() {
    return module_state().flavour();
}

void bind_util(py::module_& m) {
    py::class_<ListingCacheScope>(m, "listing_cache")
        .def(py::init<>())
        .def(
            "__enter__",
            [](ListingCacheScope& self) -> ListingCacheScope& {
                self.enter();
                return self;
            },
            py::return_value_policy::reference)
        .def("__exit__", [](ListingCacheScope& self, const py::args&) { self.exit(); })
        .def_property_readonly("reads", &ListingCacheScope::reads,
                               "Directories read by the active cache so far.");

    // ---- text encoding ----
    m.def(
        "get_encode",
        [](const py::object& encode_str) -> py::object {
            if (!py::isinstance<py::bytes>(encode_str)) return py::none();
            return optional_str(get_encode(encode_str.cast<std::string>()));
        },
        py::arg("encode_str"));
    m.def(
        "str_to_unicode",
        [](const py::object& encode_str) -> py::object {
            if (encode_str.is_none() || !py::bool_(encode_str)) return py::str("");
            if (py::isinstance<py::bytes>(encode_str)) {
                std::string bytes = encode_str.cast<std::string>();
                PyObject* text = PyUnicode_DecodeUTF8(
                    bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "strict");
                if (text == nullptr) throw py::error_already_set();
                return py::reinterpret_steal<py::object>(text);
            }
            return encode_str;
        },
        py::arg("encode_str"));
    m.def(
        "unicode_to_str",
        [](const py::object& str, const py::object& str_encode) {
            if (!py::isinstance<py::str>(str)) {
                timed(1, "unicode_to_str", [] {});
                return;
            }
            std::string text = text_of(str);
            std::string encoding = text_of(str_encode);
            ReleasedInterpreter release;
            unicode_to_str(text, encoding);
        },
        py::arg("str"), py::arg("str_encode") = "system");
    auto decode = [](const py::object& src_str) -> py::object {
        if (!py::isinstance<py::bytes>(src_str)) return src_str;
        return to_pystr(bety_out_decode(src_str.cast<std::string>()));
    };
    m.def("bety_out_decode", decode, py::arg("src_str"));

    // ---- path forms and listing ----
    m.def(
        "unc_path", [](const py::object& p) { return to_pystr(unc_path(text_of(p))); },
        py::arg("file_path"));
    m.def(
        "convert_path",
        [](const py::object& p) {
            return to_pystr(convert_path(require_text("convert_path", p), flavour()));
        },
        py::arg("file_path"));
    m.def(
        "list_lower",
        [](py::list paths) {
            auto items = to_strings(paths);
            list_lower(items);
            assign_list(paths, items);
            return paths;
        },
        py::arg("_path"));
    m.def(
        "get_files",
        [](const py::object& dir) {
            std::string path = text_of(dir);
            std::vector<std::string> files;
            {
                ReleasedInterpreter release;
                files = get_files(path, *script_listings(), flavour());
            }
            return to_pylist(files);
        },
        py::arg("dir_path"));
    m.def(
        "glob_file",
        [](const py::object& pattern) {
            std::string text = require_text("glob_file", pattern);
            std::vector<std::string> files;
            {
                ReleasedInterpreter release;
                files = glob_file(text, *script_listings(), flavour());
            }
            return to_pylist(files);
        },
        py::arg("path"));
    m.def(
        "checkCacheFile",
        [](const py::object& path) {
            return to_pylist(checkCacheFile(require_text("checkCacheFile", path),
                                            *script_listings(), flavour()));
        },
        py::arg("string"));

    // ---- file facts ----
    m.def(
        "getFileMd5",
        [](const py::object& p) {
            std::string path = text_of(p);
            ReleasedInterpreter release;
            return getFileMd5(path);
        },
        py::arg("file_path"));
    m.def(
        "get_file_size", [](const py::object& p) { return get_file_size(text_of(p)); },
        py::arg("file_path"));
    m.def(
        "get_file_mtime", [](const py::object& p) { return to_pystr(get_file_mtime(text_of(p))); },
        py::arg("file_path"));
    m.def(
        "get_file_data", [](const py::object& p) { return to_pystr(get_file_data(text_of(p))); },
        py::arg("file_path"));
    m.def(
        "get_file_save_ver",
        [](const py::object& p, const py::args&, const py::kwargs&) {
            std::string path = text_of(p);
            std::optional<std::string> version;
            {
                ReleasedInterpreter release;
                version = get_file_save_ver(path);
            }
            return optional_str(version);
        },
        py::arg("file_path"));
    m.def(
        "get_hipVersion", [](const py::object& p) { return to_pystr(get_hipVersion(text_of(p))); },
        py::arg("hipFile"));

    // ---- exclusion filters ----
    m.def(
        "search_unavailable_path",
        [](const py::object& path, py::list prefixes) {
            auto items = to_strings(prefixes);
            auto found = search_unavailable_path(text_of(path), items);
            assign_list(prefixes, items);
            return optional_str(found);
        },
        py::arg("path"), py::arg("_paths"));
    m.def("filter_otls_path", [] {
        py::set out;
        for (const auto& entry : filter_otls_path(module_services().environment, flavour()))
            out.add(optional_str(entry));
        return out;
    });
    m.def(
        "filter_excluded_paths",
        [](const py::object& filter_path, const py::object& libraries) {
            std::vector<std::optional<std::string>> prefixes;
            for (auto item : filter_path) prefixes.push_back(optional_text(item));
            auto [dirs, files] = filter_excluded_paths(prefixes, to_strings(libraries), flavour());
            return py::make_tuple(to_pylist(dirs), to_pylist(files));
        },
        py::arg("filter_path"), py::arg("otls_assetpath"));

    // ---- texture counterparts ----
    m.def(
        "check_tx_exists",
        [](const py::object& path, const py::object& hh, py::list protect_path) {
            std::string p = text_of(path);
            std::string home = hh.is_none() ? "" : text_of(hh);
            auto prefixes = to_strings(protect_path);
            TxResult result;
            {
                ReleasedInterpreter release;
                result = check_tx_exists(p, home, prefixes, *script_listings(), flavour());
            }
            assign_list(protect_path, prefixes);
            return tx_result(result);
        },
        py::arg("_path"), py::arg("env_hh_path"), py::arg("protect_path"));
    m.def(
        "find_tx_counterparts_parallel",
        [](const py::object& paths, const py::object& hh, py::list protect_path, int max_workers) {
            auto items = to_strings(paths);
            std::string home = hh.is_none() ? "" : text_of(hh);
            auto prefixes = to_strings(protect_path);
            TxResult result;
            {
                ReleasedInterpreter release;
                result = find_tx_counterparts_parallel(items, home, prefixes, max_workers,
                                                       *script_listings(), flavour());
            }
            assign_list(protect_path, prefixes);
            return tx_result(result);
        },
        py::arg("paths"), py::arg("env_hh_path"), py::arg("protect_path"),
        py::arg("max_workers") = 10);
}

}  // namespace scanflow::py_bridge
