// Bindings of the result files and the final assembly.
#include "bindings.h"
#include "output/result_files.h"
#include "pyutil.h"

namespace scanflow::py_bridge {

void bind_output(py::module_& m, SceneDriverClass& hip) {
    m.def(
        "writeFile",
        [](const py::object& info_file, const py::object& info_dict) {
            std::string path = text_of(info_file);
            Json record = to_json(info_dict);
            ReleasedInterpreter release;
            writeFile(path, record);
        },
        py::arg("info_file"), py::arg("info_dict"));
    m.def(
        "write_asset_txt",
        [](const py::object& info_file, const py::object& missing, const py::object& files,
           const py::object& scene_file) {
            std::vector<std::string> lines;
            for (auto item : files) lines.push_back(text_of(item));
            write_asset_txt(text_of(info_file), to_json(missing), lines, text_of(scene_file));
        },
        py::arg("info_file"), py::arg("missing"), py::arg("files"), py::arg("scene_file"));
    hip.def(
        "all_upload_list",
        [](AnalysisHipAssets& self, const py::object& uploads) {
            std::vector<std::string> items;
            for (auto item : uploads) items.push_back(text_of(item));
            UploadLists lists;
            {
                ReleasedInterpreter release;
                lists = self.all_upload_list(items);
            }
            py::dict nested;
            for (const auto& [path, found] : lists.nested)
                nested[to_pystr(path)] = to_pylist(found);
            return py::make_tuple(to_pylist(lists.present), to_pylist(lists.missing), nested);
        },
        py::arg("uploads_list"));
    hip.def("write_json", &AnalysisHipAssets::write_json, py::call_guard<ReleasedInterpreter>());
    hip.def("analy_info", &AnalysisHipAssets::analy_info, py::call_guard<ReleasedInterpreter>());
    hip.def_property(
        "asset_list_file_path",
        [](const AnalysisHipAssets& self) { return to_pystr(self.asset_list_file_path); },
        [](AnalysisHipAssets& self, const py::object& v) {
            self.asset_list_file_path = text_of(v);
        });
}

}  // namespace scanflow::py_bridge
