// Bindings of the dependency-task merge.
#include "bindings.h"
#include "drivers/rely_task.h"
#include "pyutil.h"

namespace scanflow::py_bridge {

void bind_tasks(py::module_& m) {
    py::class_<RelyTask>(m, "RelyTask")
        .def(py::init([](const py::object& task, const py::object& scene_info,
                         const py::object& method_way) {
                 return new RelyTask(to_json(task), to_json(scene_info), text_of(method_way));
             }),
             py::arg("task_json_dict"), py::arg("scene_info_dict"), py::arg("method_way"))
        .def("init_rely_task_dict", &RelyTask::init_rely_task_dict)
        .def("get_scene_support_task",
             [](const RelyTask& t) { return from_json(t.get_scene_support_task()); })
        .def("merge_lists",
             [](const RelyTask& t, const py::object& a, const py::object& b) {
                 return from_json(t.merge_lists(to_json(a), to_json(b)));
             })
        .def("merge_edit_value",
             [](const RelyTask& t, const py::object& a, const py::object& b) {
                 return from_json(t.merge_edit_value(to_json(a), to_json(b)));
             })
        .def("merge_values",
             [](const RelyTask& t, const py::object& a, const py::object& b) {
                 return from_json(t.merge_values(to_json(a), to_json(b)));
             })
        .def("run", [](const RelyTask& t) { return from_json(t.run()); })
        .def_property_readonly("rely_task_dict",
                               [](const RelyTask& t) { return from_json(t.rely_task_dict); })
        .def_property_readonly("layers", [](const RelyTask& t) { return from_json(t.layers); })
        .def_property_readonly("RELY_DICT",
                               [](const RelyTask& t) { return from_json(t.RELY_DICT); });
}

}  // namespace scanflow::py_bridge
