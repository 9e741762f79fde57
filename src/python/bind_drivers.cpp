// Bindings of the analysis class family.
#include <pybind11/stl.h>

#include "bindings.h"
#include "drivers/analysis.h"
#include "entry/state.h"
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

// Exposes a text member as a read-write attribute.
template <typename Class, typename Base>
void text_attr(Class& cls, const char* name, std::string Base::*member) {
    cls.def_property(
        name, [member](const Base& self) { return to_pystr(self.*member); },
        [member](Base& self, const py::object& value) { self.*member = text_of(value); });
}

template <typename Class, typename Base>
void json_attr(Class& cls, const char* name, Json Base::*member) {
    cls.def_property(
        name, [member](const Base& self) { return from_json(self.*member); },
        [member](Base& self, const py::object& value) { self.*member = to_json(value); });
}

template <typename Class, typename Base>
void list_attr(Class& cls, const char* name, std::vector<std::string> Base::*member) {
    cls.def_property(
        name, [member](const Base& self) { return to_pylist(self.*member); },
        [member](Base& self, const py::object& value) { self.*member = to_strings(value); });
}

template <typename Class, typename Base>
void set_attr(Class& cls, const char* name, std::set<std::string> Base::*member) {
    cls.def_property(
        name, [member](const Base& self) { return to_pyset(self.*member); },
        [member](Base& self, const py::object& value) { self.*member = to_string_set(value); });
}

void remember_module_file() {
    py::object modules = py::module_::import("sys").attr("modules");
    if (modules.contains("scanflow"))
        state().module_file = text_of(modules["scanflow"].attr("__file__"));
}

}  // namespace

void bind_drivers(py::module_& m) {
    py::class_<Related> related(m, "Related");
    related.def(py::init([](const py::dict& param_dict) {
                    Json params = to_json(param_dict);
                    py::gil_scoped_release release;
                    return new Related(params);
                }),
                py::arg("param_dict"));
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
    related.def(
        "Write_File",
        [](Related& self, const py::object& info_file, const py::object& houdiniver,
           const py::object& info_dict, const py::object& rely_task_dict,
           const py::object& otls_path) {
            std::string file = text_of(info_file);
            std::string version = text_of(houdiniver);
            Json info = info_dict.is_none() ? Json::object() : to_json(info_dict);
            Json rely = rely_task_dict.is_none() ? Related::default_dependency_task()
                                                 : to_json(rely_task_dict);
            std::vector<std::string> otls =
                otls_path.is_none() ? std::vector<std::string>{} : to_strings(otls_path);
            py::gil_scoped_release release;
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
            py::gil_scoped_release release;
            version = self.getHoudiniver();
        }
        return to_pystr(version);
    });

    bind_upload(related);

    py::class_<AnalysUsd, Related> usd(m, "AnalysUsd");
    usd.def(py::init([](const py::dict& param_dict) {
                Json params = to_json(param_dict);
                py::gil_scoped_release release;
                return new AnalysUsd(params);
            }),
            py::arg("param_dict"));
    set_attr(usd, "all_ass", &AnalysUsd::all_ass);

    py::class_<AnalysisHipAssets, AnalysUsd> hip(m, "AnalysisHipAssets");
    hip.def(py::init([](const py::dict& param_dict) {
                Json params = to_json(param_dict);
                py::gil_scoped_release release;
                return new AnalysisHipAssets(params);
            }),
            py::arg("param_dict"));
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
            py::gil_scoped_release release;
            self.openScene(p);
        },
        py::arg("hip_path"));
    hip.def("doit", &AnalysisHipAssets::doit, py::call_guard<py::gil_scoped_release>());
    hip.def("doit_test", [](AnalysisHipAssets& self) {
        remember_module_file();
        py::gil_scoped_release release;
        self.doit_test();
    });
    bind_assembly(hip);
    bind_nested(m, related, usd, hip);

    py::class_<AnalysUsdAsset, AnalysUsd> usd_asset(m, "AnalysUsdAsset");
    usd_asset.def(py::init([](const py::dict& param_dict) {
                      Json params = to_json(param_dict);
                      py::gil_scoped_release release;
                      return new AnalysUsdAsset(params);
                  }),
                  py::arg("param_dict"));
    json_attr(usd_asset, "param_dict", &AnalysUsdAsset::param_dict);
    usd_asset.def("doit", &AnalysUsdAsset::doit, py::call_guard<py::gil_scoped_release>());

    py::class_<AnalysisAssets, Related> assets(m, "AnalysisAssets");
    assets.def(py::init([](const py::dict& param_dict) {
                   Json params = to_json(param_dict);
                   py::gil_scoped_release release;
                   return new AnalysisAssets(params);
               }),
               py::arg("param_dict"));
    json_attr(assets, "param_dict", &AnalysisAssets::param_dict);
    assets.def("doit", &AnalysisAssets::doit, py::call_guard<py::gil_scoped_release>());
}

}  // namespace scanflow::py_bridge
