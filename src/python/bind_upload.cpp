// Bindings of the upload operations of Related: drive mapping and upload gathering.
#include "bindings.h"
#include "pyutil.h"

namespace scanflow::py_bridge {

namespace {

py::dict entry_dict(const UploadEntry& entry) {
    py::dict out;
    out["local"] = to_pystr(entry.local);
    out["server"] = to_pystr(entry.server_path());
    return out;
}

// The record as upload.json holds it.
py::dict upload_dict(const UploadRecord& record) {
    py::list assets;
    for (const auto& entry : record.asset) assets.append(entry_dict(entry));
    py::dict scene = entry_dict(record.scene);
    scene["hash"] = to_pystr(record.hash);
    py::dict out;
    out["asset"] = assets;
    py::list scenes;
    scenes.append(scene);
    out["scene"] = scenes;
    return out;
}

}  // namespace

void bind_upload(RelatedClass& related) {
    related.def("cmd_out_decode", [](const Related&, const py::object& src_str) -> py::object {
        if (!py::isinstance<py::bytes>(src_str)) return src_str;
        return to_pystr(Related::cmd_out_decode(src_str.cast<std::string>()));
    });
    related.def("_get_win_mnt_map", [](const Related& self) {
        return from_json(win_mount_map(self.services().environment));
    });
    related.def("_get_drive_replacement_map", [](Related& self) {
        py::dict out;
        for (const auto& [drive, folder] : self._get_drive_replacement_map())
            out[to_pystr(drive)] = to_pystr(folder);
        return out;
    });
    related.def(
        "_replace_drive_in_path",
        [](const Related&, const py::object& path, const py::dict& map) {
            DriveMap drives;
            for (auto item : map) drives.emplace_back(text_of(item.first), text_of(item.second));
            return to_pystr(Related::_replace_drive_in_path(text_of(path), drives));
        },
        py::arg("path"), py::arg("replacement_map"));
    related.def(
        "gather_upload",
        [](Related& self, const py::object& upload_paths, const py::object& hip_file) {
            auto paths = to_strings(upload_paths);
            std::string scene = text_of(hip_file);
            UploadRecord record;
            {
                ReleasedInterpreter release;
                record = self.gather_upload(std::move(paths), scene);
            }
            return upload_dict(record);
        },
        py::arg("upload_paths"), py::arg("hip_file"));
}

}  // namespace scanflow::py_bridge
