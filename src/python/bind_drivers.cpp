// Bindings of the system's class family: construction from the run parameters, the instance
// attributes, and each area's operations.
#include <pybind11/stl.h>

#include "bindings.h"
#include "drivers/dispatch.h"
#include "module_services.h"
#include "output/task_file.h"
#include "pyutil.h"
#include "render/record_json.h"
#include "run/task_file_json.h"
#include "tasks/dependency_tasks_json.h"

namespace scanflow::py_bridge {

namespace {

py::set to_pyset(const std::set<std::string>& items) {
    py::set out;
    for (const auto& item : items) out.add(to_pystr(item));
    return out;
}

std::set<std::string> to_string_set(const py::handle& seq) {
    std::set<std::string> out;
    for (auto item : seq) out.insert(text_of(item));
    return out;
}

// Instance attributes, read and written as the interpreter's own types.
template <typename Class, typename Member>
void text_attr(Class& cls, const char* name, Member member) {
    using Self = typename Class::type;
    cls.def_property(
        name, [member](const Self& self) { return to_pystr(self.*member); },
        [member](Self& self, const py::object& value) { self.*member = text_of(value); });
}

// Collections are live: a host script is handed one object per attribute and instance, which
// it may keep and change. What it holds is given to the analysis before each operation, and
// what the analysis changed is written back into the same object after it.
//
// Each collection the instance handed out is kept in its `__dict__` under this name, as
// (object, push, pull): push gives the object's contents to the analysis, pull refreshes the
// object from it in place.
constexpr const char* kLive = "_live_collections";

py::dict live_collections(const py::handle& self) {
    py::dict attrs = self.attr("__dict__");
    if (!attrs.contains(kLive)) attrs[kLive] = py::dict();
    return attrs[kLive];
}

// The contents of `fresh` written into `held` without replacing it.
void refill(const py::handle& held, const py::object& fresh) {
    if (py::isinstance<py::dict>(held) && py::isinstance<py::dict>(fresh)) {
        held.attr("clear")();
        held.attr("update")(fresh);
    } else if (py::isinstance<py::set>(held) && py::isinstance<py::set>(fresh)) {
        held.attr("clear")();
        held.attr("update")(fresh);
    } else if (py::isinstance<py::list>(held) && py::isinstance<py::list>(fresh)) {
        held.attr("__setitem__")(py::slice(py::none(), py::none(), py::none()), fresh);
    }
}

// A collection attribute: `read` makes the interpreter's object from the member, `write` sets
// the member from one.
template <typename Class, typename Read, typename Write>
void live_attr(Class& cls, const char* name, Read read, Write write) {
    using Self = typename Class::type;
    std::string key = name;
    auto pull = [read, key](const py::object& self_obj) {
        const Self& self = self_obj.cast<const Self&>();
        py::dict live = live_collections(self_obj);
        py::object fresh = read(self);
        if (!live.contains(key.c_str())) return fresh;
        py::object held = live[key.c_str()].cast<py::tuple>()[0];
        // A held object of another kind (a script may set any value) is replaced.
        if (py::type::of(held).is(py::type::of(fresh))) {
            refill(held, fresh);
            return held;
        }
        return fresh;
    };
    auto hold = [read, write, pull, key](const py::object& self_obj, const py::object& value) {
        py::cpp_function push([write](const py::object& owner, const py::object& given) {
            write(owner.cast<Self&>(), given);
        });
        py::cpp_function refresh([pull](const py::object& owner) { pull(owner); });
        live_collections(self_obj)[key.c_str()] = py::make_tuple(value, push, refresh);
    };
    cls.def_property(
        name,
        [pull, hold, key](const py::object& self_obj) {
            // Between operations the script's object is the collection.
            py::dict live = live_collections(self_obj);
            if (live.contains(key.c_str()))
                return py::object(live[key.c_str()].cast<py::tuple>()[0]);
            py::object value = pull(self_obj);
            hold(self_obj, value);
            return value;
        },
        [write, hold](const py::object& self_obj, const py::object& value) {
            write(self_obj.cast<Self&>(), value);
            hold(self_obj, value);
        });
}

// A collection attribute held as `to_py` gives it and set from what `from_py` makes of a value.
template <typename Class, typename Member, typename ToPy, typename FromPy>
void converted_attr(Class& cls, const char* name, Member member, ToPy to_py, FromPy from_py) {
    using Self = typename Class::type;
    live_attr(
        cls, name, [member, to_py](const Self& self) { return py::object(to_py(self.*member)); },
        [member, from_py](Self& self, const py::object& value) { self.*member = from_py(value); });
}

template <typename Class, typename Member>
void list_attr(Class& cls, const char* name, Member member) {
    converted_attr(
        cls, name, member, [](const std::vector<std::string>& v) { return to_pylist(v); },
        [](const py::object& v) { return to_strings(v); });
}

template <typename Class, typename Member>
void set_attr(Class& cls, const char* name, Member member) {
    converted_attr(
        cls, name, member, [](const std::set<std::string>& v) { return to_pyset(v); },
        [](const py::object& v) { return to_string_set(v); });
}

// The tips as the interpreter's dictionary of code to messages. A script may file any value
// under a code; what is not a list of texts is kept as it converts to JSON.
py::dict tips_dict(const Tips& tips) {
    py::dict out;
    for (const Tips::Entry& e : tips.entries())
        out[to_pystr(e.code)] = e.script_value.empty() ? py::object(to_pylist(e.messages))
                                                       : from_json(Json::parse(e.script_value));
    return out;
}

bool is_text_list(const py::handle& value) {
    if (!py::isinstance<py::list>(value)) return false;
    for (auto item : value)
        if (!py::isinstance<py::str>(item)) return false;
    return true;
}

Tips tips_of(const py::object& value) {
    if (!py::isinstance<py::dict>(value))
        throw py::type_error("tips_adict must be a dict of tip code to messages");
    Tips tips;
    for (auto [code, messages] : value.cast<py::dict>()) {
        if (is_text_list(messages))
            tips.set(text_of(code), to_strings(messages));
        else
            tips.set_script_value(text_of(code), dump_json(to_json(messages)));
    }
    return tips;
}

template <typename Class, typename Member>
void tips_attr(Class& cls, const char* name, Member member) {
    converted_attr(cls, name, member, tips_dict, tips_of);
}

// Every collection the instance handed out, given to the analysis, or refreshed from it.
void push_live(const py::handle& self) {
    py::dict attrs = self.attr("__dict__");
    if (!attrs.contains(kLive)) return;
    for (auto item : attrs[kLive].cast<py::dict>()) {
        py::tuple entry = item.second.cast<py::tuple>();
        entry[1](self, entry[0]);
    }
}

void pull_live(const py::handle& self) {
    py::dict attrs = self.attr("__dict__");
    if (!attrs.contains(kLive)) return;
    for (auto item : attrs[kLive].cast<py::dict>()) item.second.cast<py::tuple>()[2](self);
}

// Wraps every operation of the class so that the host script's collections and the analysis's
// agree before and after it.
template <typename Class>
void synchronise_operations(Class& cls) {
    py::dict members = cls.attr("__dict__");
    std::vector<std::pair<std::string, py::object>> operations;
    for (auto item : members) {
        std::string name = item.first.cast<std::string>();
        if (name.rfind("__", 0) == 0 || name == "_pybind11_conduit_v1_") continue;
        py::object member = py::reinterpret_borrow<py::object>(item.second);
        if (py::isinstance<py::staticmethod>(member) || !PyInstanceMethod_Check(member.ptr()))
            continue;
        operations.emplace_back(name, member);
    }
    for (auto& [name, method] : operations) {
        py::object function = method.attr("__func__");
        py::cpp_function wrapped(
            [function](py::args args, const py::kwargs& kwargs) {
                py::object self = args[0];
                push_live(self);
                try {
                    py::object result = function(*args, **kwargs);
                    pull_live(self);
                    return result;
                } catch (...) {
                    pull_live(self);
                    throw;
                }
            },
            py::name(name.c_str()), py::is_method(cls), py::sibling(py::none()),
            py::doc(function.attr("__doc__").is_none()
                        ? ""
                        : function.attr("__doc__").cast<std::string>().c_str()));
        py::setattr(cls, name.c_str(), wrapped);
    }
}

// A run parameter as a script gave it: a text as its bytes, any other value as its JSON text.
RunParameters::Member parameter_of(const std::string& name, const py::handle& value) {
    Json v = to_json(py::reinterpret_borrow<py::object>(value));
    if (v.is_string()) return {name, v.get<std::string>(), true};
    return {name, v.dump(-1, ' ', false, Json::error_handler_t::replace), false};
}

py::object parameter_value(const RunParameters::Member& member) {
    return member.is_text ? py::object(to_pystr(member.value))
                          : from_json(Json::parse(member.value));
}

RunParameters parameters_of(const py::object& dict) {
    std::vector<RunParameters::Member> members;
    for (auto item : dict.cast<py::dict>())
        members.push_back(parameter_of(text_of(item.first), item.second));
    return RunParameters(std::move(members));
}

py::dict parameters_dict(const RunParameters& params) {
    py::dict out;
    for (const auto& member : params.members())
        out[to_pystr(member.name)] = parameter_value(member);
    return out;
}

// A constructor from the run parameters, with the module's services.
template <typename Driver>
auto driver_init() {
    return py::init([](const py::dict& param_dict) {
        RunParameters params = parameters_of(param_dict);
        ReleasedInterpreter release;
        return new Driver(module_services(), params);
    });
}

void remember_module_file() {
    py::object modules = py::module_::import("sys").attr("modules");
    if (modules.contains("scanflow"))
        module_state().module_file = text_of(modules["scanflow"].attr("__file__"));
}

void bind_related_attributes(RelatedClass& related) {
    text_attr(related, "current_os", &Related::current_os);
    text_attr(related, "hip_file", &Related::hip_file);
    text_attr(related, "path_json", &Related::path_json);
    related.def_property(
        "getaset",
        [](const Related& self) {
            return self.getaset ? parameter_value(*self.getaset) : py::object(py::none());
        },
        [](Related& self, const py::object& value) {
            self.getaset = parameter_of("getaset", value);
        });
    text_attr(related, "uploads_json_path", &Related::uploads_json_path);
    text_attr(related, "asset_json_path", &Related::asset_json_path);
    text_attr(related, "tips_json_path", &Related::tips_json_path);
    text_attr(related, "task_json_path", &Related::task_json_path);
    text_attr(related, "success_file", &Related::success_file);
    live_attr(
        related, "task_json_dict",
        [](const Related& self) { return from_json(task_document(self.task_json_dict)); },
        [](Related& self, const py::object& value) {
            self.task_json_dict = task_file_of(to_json(value), self.task_json_path);
        });
    text_attr(related, "platform", &Related::platform);
    text_attr(related, "channel", &Related::channel);
    list_attr(related, "user_plugins", &Related::user_plugins);
    tips_attr(related, "tips_adict", &Related::tips_adict);
    converted_attr(
        related, "task_adict", &Related::task_adict,
        [](const TaskRecord& task) { return from_json(task_record_json(task)); },
        [](const py::object& v) { return task_record_from_json(to_json(v)); });
    set_attr(related, "rs_asseted", &Related::rs_asseted);
}

void bind_related_operations(RelatedClass& related) {
    related.def(
        "Write_File",
        [](Related& self, const py::object& info_file, const py::object& houdiniver,
           const py::object& info_dict, const py::object& rely_task_dict,
           const py::object& otls_path) {
            std::string file = text_of(info_file);
            std::string version = text_of(houdiniver);
            // A script's records are written as it gives them, members of its own included.
            TaskMerge merge{
                self.services().module.script_ver_py,
                self.channel,
                version,
                info_dict.is_none() ? Json::object() : to_json(info_dict),
                rely_task_dict.is_none() ? dependency_tasks_json(DependencyTasks::empty_lists())
                                         : to_json(rely_task_dict),
                otls_path.is_none() ? std::vector<std::string>{} : to_strings(otls_path)};
            ReleasedInterpreter release;
            scanflow::Write_File(file, merge);
        },
        py::arg("info_file"), py::arg("houdiniver") = "", py::arg("info_dict") = py::none(),
        py::arg("rely_task_dict") = py::none(), py::arg("otls_path") = py::none());
    related.def(
        "sequence_key",
        [](const Related&, const py::object& file_name) {
            return to_pystr(Related::sequence_key(text_of(file_name)));
        },
        py::arg("file_name"));
    related.def(
        "add_sequence_file",
        [](const Related&, const py::object& temp_glob, py::list nested_asset) {
            std::vector<std::string> added;
            Related::add_sequence_file(to_strings(temp_glob), added);
            for (const auto& item : added) nested_asset.append(to_pystr(item));
            return nested_asset;
        },
        py::arg("temp_glob"), py::arg("nested_asset"));
    related.def("getHoudiniver", [](Related& self) {
        std::string version;
        {
            ReleasedInterpreter release;
            version = self.getHoudiniver();
        }
        return to_pystr(version);
    });
}

void bind_scene_driver(SceneDriverClass& hip) {
    hip.def(driver_init<AnalysisHipAssets>(), py::arg("param_dict"));
    list_attr(hip, "render_node_type", &AnalysisHipAssets::render_node_type);
    set_attr(hip, "all_bgeo", &AnalysisHipAssets::all_bgeo);
    set_attr(hip, "all_bgeosc", &AnalysisHipAssets::all_bgeosc);
    list_attr(hip, "otls_path", &AnalysisHipAssets::otls_path);
    list_attr(hip, "all_ar_denoise", &AnalysisHipAssets::all_ar_denoise);
    list_attr(hip, "all_renderer_list", &AnalysisHipAssets::all_renderer_list);
    hip.def(
        "openScene",
        [](AnalysisHipAssets& self, const py::object& path) {
            std::string p = text_of(path);
            ReleasedInterpreter release;
            self.openScene(p);
        },
        py::arg("hip_path"));
    hip.def("doit", &AnalysisHipAssets::doit, py::call_guard<ReleasedInterpreter>());
    hip.def("doit_test", [](AnalysisHipAssets& self) {
        remember_module_file();
        ReleasedInterpreter release;
        self.doit_test();
    });
}

}  // namespace

void bind_drivers(py::module_& m) {
    RelatedClass related(m, "Related", py::dynamic_attr());
    related.def(driver_init<Related>(), py::arg("param_dict"));
    bind_related_attributes(related);
    bind_related_operations(related);
    bind_upload(related);

    AnalysUsdClass usd(m, "AnalysUsd");
    usd.def(driver_init<AnalysUsd>(), py::arg("param_dict"));
    set_attr(usd, "all_ass", &AnalysUsd::all_ass);

    SceneDriverClass hip(m, "AnalysisHipAssets");
    bind_scene_driver(hip);
    bind_output(m, hip);
    bind_render(hip);
    bind_nested(related, usd, hip);

    UsdDriverClass usd_asset(m, "AnalysUsdAsset");
    usd_asset.def(driver_init<AnalysUsdAsset>(), py::arg("param_dict"));
    converted_attr(usd_asset, "param_dict", &AnalysUsdAsset::param_dict, parameters_dict,
                   parameters_of);
    bind_usd(usd, usd_asset);

    py::class_<AnalysisAssets, Related> assets(m, "AnalysisAssets");
    assets.def(driver_init<AnalysisAssets>(), py::arg("param_dict"));
    converted_attr(assets, "param_dict", &AnalysisAssets::param_dict, parameters_dict,
                   parameters_of);
    assets.def("doit", &AnalysisAssets::doit, py::call_guard<ReleasedInterpreter>());

    synchronise_operations(related);
    synchronise_operations(usd);
    synchronise_operations(hip);
    synchronise_operations(usd_asset);
    synchronise_operations(assets);
}

}  // namespace scanflow::py_bridge
