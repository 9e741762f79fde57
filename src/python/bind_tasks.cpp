// Bindings of the dependency-task merge.
#include "bindings.h"
#include "drivers/rely_task.h"
#include "pyutil.h"
#include "run/task_file_json.h"
#include "tasks/dependency_tasks_json.h"

namespace scanflow::py_bridge {

namespace {

// The render-node paths of a script's records: a record without a "node" has none, and a node
// that is not a text is taken as its text.
std::vector<std::optional<std::string>> layers_of(const Json& records) {
    std::vector<std::optional<std::string>> layers;
    for (const auto& record : records) {
        if (record.is_object() && record.contains("node"))
            layers.emplace_back(value_text(record.at("node")));
        else
            layers.emplace_back(std::nullopt);
    }
    return layers;
}

py::object tasks_to_py(const DependencyTasks& tasks) {
    return from_json(dependency_tasks_json(tasks));
}

}  // namespace

void bind_tasks(py::module_& m) {
    py::class_<RelyTask>(m, "RelyTask")
        .def(py::init([](const py::object& task, const py::object& scene_info,
                         const py::object& method_way) {
                 return new RelyTask(task_file_of(to_json(task), ""),
                                     layers_of(to_json(scene_info)), text_of(method_way));
             }),
             py::arg("task_json_dict"), py::arg("scene_info_dict"), py::arg("method_way"))
        .def("init_rely_task_dict", &RelyTask::init_rely_task_dict)
        .def("get_scene_support_task",
             [](const RelyTask& t) { return tasks_to_py(t.get_scene_support_task()); })
        .def("merge_lists",
             [](const RelyTask& t, const py::object& a, const py::object& b) {
                 return from_json(merge_lists(to_json(a), to_json(b), t.cg_version));
             })
        .def("merge_edit_value",
             [](const RelyTask&, const py::object& a, const py::object& b) {
                 return from_json(merge_edit_value(to_json(a), to_json(b)));
             })
        .def("merge_values",
             [](const RelyTask&, const py::object& a, const py::object& b) {
                 return from_json(merge_values(to_json(a), to_json(b)));
             })
        .def("run", [](const RelyTask& t) { return tasks_to_py(t.run()); })
        .def_property_readonly("rely_task_dict",
                               [](const RelyTask& t) { return tasks_to_py(t.rely_task_dict); })
        .def_property_readonly(
            "layers",
            [](const RelyTask& t) {
                py::list out;
                for (const auto& layer : t.layers)
                    out.append(layer ? py::object(to_pystr(*layer)) : py::object(py::none()));
                return out;
            })
        .def_property_readonly("RELY_DICT", [](const RelyTask& t) {
            py::dict out;
            for (const SupportedTask& task : t.RELY_DICT) {
                py::str kind = to_pystr(task.kind);
                py::dict ids = out.contains(kind) ? out[kind].cast<py::dict>() : py::dict();
                ids[to_pystr(task.host)] = task.id;
                out[kind] = ids;
            }
            return out;
        });
}

}  // namespace scanflow::py_bridge
