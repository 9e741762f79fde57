// Bindings of the system's class family: construction from the run parameters, the instance
// attributes, and each area's operations.
#include <pybind11/stl.h>

#include "bindings.h"
#include "drivers/dispatch.h"
#include "module_services.h"
#include "pyutil.h"

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

template <typename Class, typename Member>
void json_attr(Class& cls, const char* name, Member member) {
    using Self = typename Class::type;
    cls.def_property(
        name, [member](const Self& self) { return from_json(self.*member); },
        [member](Self& self, const py::object& value) { self.*member = to_json(value); });
}

template <typename Class, typename Member>
void list_attr(Class& cls, const char* name, Member member) {
    using Self = typename Class::type;
    cls.def_property(
        name, [member](const Self& self) { return to_pylist(self.*member); },
        [member](Self& self, const py::object& value) { self.*member = to_strings(value); });
}

template <typename Class, typename Member>
void set_attr(Class& cls, const char* name, Member member) {
    using Self = typename Class::type;
    cls.def_property(
        name, [member](const Self& self) { return to_pyset(self.*member); },
        [member](Self& self, const py::object& value) { self.*member = to_string_set(value); });
}

// A constructor from the run parameters, with the module's services.
template <typename Driver>
auto driver_init() {
    return py::init([](const py::dict& param_dict) {
        Json params = to_json(param_dict);
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
    json_attr(related, "getaset", &Related::getaset);
    text_attr(related, "uploads_json_path", &Related::uploads_json_path);
    text_attr(related, "asset_json_path", &Related::asset_json_path);
    text_attr(related, "tips_json_path", &Related::tips_json_path);
    text_attr(related, "task_json_path", &Related::task_json_path);
    text_attr(related, "success_file", &Related::success_file);
    json_attr(related, "task_json_dict", &Related::task_json_dict);
    text_attr(related, "platform", &Related::platform);
    text_attr(related, "channel", &Related::channel);
    list_attr(related, "user_plugins", &Related::user_plugins);
    json_attr(related, "tips_adict", &Related::tips_adict);
    json_attr(related, "task_adict", &Related::task_adict);
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
            Json info = info_dict.is_none() ? Json::object() : to_json(info_dict);
            Json rely =
                rely_task_dict.is_none() ? default_dependency_task() : to_json(rely_task_dict);
            std::vector<std::string> otls =
                otls_path.is_none() ? std::vector<std::string>{} : to_strings(otls_path);
            ReleasedInterpreter release;
            self.Write_File(file, version, info, rely, otls);
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
    json_attr(hip, "all_ar_denoise", &AnalysisHipAssets::all_ar_denoise);
    json_attr(hip, "all_renderer_list", &AnalysisHipAssets::all_renderer_list);
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
    RelatedClass related(m, "Related");
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
    json_attr(usd_asset, "param_dict", &AnalysUsdAsset::param_dict);
    bind_usd(usd, usd_asset);

    py::class_<AnalysisAssets, Related> assets(m, "AnalysisAssets");
    assets.def(driver_init<AnalysisAssets>(), py::arg("param_dict"));
    json_attr(assets, "param_dict", &AnalysisAssets::param_dict);
    assets.def("doit", &AnalysisAssets::doit, py::call_guard<ReleasedInterpreter>());
}

}  // namespace scanflow::py_bridge
