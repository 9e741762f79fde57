// The scene host over the host application's Python module `hou`.
#pragma once

#include <memory>

#include "host/host.h"

namespace scanflow::py_bridge {

// Imports `hou` and returns a host over it; throws the import error as a core error.
std::shared_ptr<Host> make_hou_host();

}  // namespace scanflow::py_bridge
