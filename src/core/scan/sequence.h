// The file pattern a file parameter stands for across the frame range.
#pragma once

#include <string>

#include "host/host.h"
#include "run/module_state.h"
#include "util/flavour.h"

namespace scanflow {

// The parameter's raw text with each resolvable backtick reference replaced by the value it
// references; the parameter's raw text is the same afterwards.
std::string convertReference(Parm& parm);

// Records the parameter's file path or pattern in the module's collections. A reference that
// cannot be resolved ends the run with the exit request 556.
void RY_GetSequen(Parm& parm, Host& host, ModuleState& module, Flavour f);

// The host's text form of a parameter handle: <hou.Parm NAME in NODE>.
std::string parm_repr(Parm& parm);

}  // namespace scanflow
