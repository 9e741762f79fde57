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

// The parameter's file path or pattern across the frame range. A reference that cannot be
// resolved ends the run with the exit request 556.
std::string RY_GetSequen(Parm& parm, Host& host, Flavour f);

// The pattern of the parameter at `parm_path` filed in the module's collections.
void record_pattern(const std::string& parm_path, const std::string& pattern, ModuleState& module);

// The host's text form of a parameter handle: <hou.Parm NAME in NODE>.
std::string parm_repr(Parm& parm);

}  // namespace scanflow
