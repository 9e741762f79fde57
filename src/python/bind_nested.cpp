// Bindings of the readers of files inside files: Arnold, Redshift, V-Ray, geometry caches and the
// recursive analysis.
#include "bindings.h"
#include "pyutil.h"

namespace scanflow::py_bridge {

void bind_nested(RelatedClass& related, AnalysUsdClass& usd, SceneDriverClass& hip) {
    bind_path_reader(related, "get_ass_path", "ass",
                     [](Related& r, const std::string& p) { return r.get_ass_path(p); });
    bind_path_reader(related, "read_in_vrscene", "vrscene_path",
                     [](Related& r, const std::string& p) { return r.read_in_vrscene(p); });
    bind_path_reader(related, "get_file_from_rs_cmd", "rs_file",
                     [](Related& r, const std::string& p) { return r.get_file_from_rs_cmd(p); });
    bind_path_reader(related, "get_rs_file_with_open", "rs_file",
                     [](Related& r, const std::string& p) { return r.get_rs_file_with_open(p); });
    related.def(
        "get_rs_file_from_cmd",
        [](Related& r, const py::object& rs_file, const py::object& exe) {
            std::string a = text_of(rs_file), b = text_of(exe);
            std::vector<std::string> found;
            {
                ReleasedInterpreter release;
                found = r.get_rs_file_from_cmd(a, b);
            }
            return to_pylist(found);
        },
        py::arg("rs_file"), py::arg("exe"));
    related.def("get_rs_exe", [](Related& r) { return to_pystr(r.get_rs_exe()); });
    bind_path_reader(usd, "ass_usd_usda_asset", "ass_path",
                     [](AnalysUsd& u, const std::string& p) { return u.ass_usd_usda_asset(p); });
    bind_path_reader(
        hip, "get_bgeo_asset", "bgeo_path",
        [](AnalysisHipAssets& h, const std::string& p) { return h.get_bgeo_asset(p); });
    bind_path_reader(
        hip, "get_begosc_instance", "bgeosc_path",
        [](AnalysisHipAssets& h, const std::string& p) { return h.get_begosc_instance(p); });
}

}  // namespace scanflow::py_bridge
