// The scene host over the host application's Python module `hou`.
#pragma once

#include <memory>

#include <pybind11/pybind11.h>

#include "host/host.h"

namespace scanflow::py_bridge {

// Imports `hou` and returns a host over it; throws the import error as a core error.
std::shared_ptr<Host> make_hou_host();

// Host handles over objects of the `hou` module that a host script passes in.
NodePtr wrap_hou_node(pybind11::object node);
ParmPtr wrap_hou_parm(pybind11::object parm);

}  // namespace scanflow::py_bridge
