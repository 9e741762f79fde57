// The Python side of the USD facade: the walks over pxr objects, run by the interpreter that
// holds them, handing back plain lists and dictionaries.
#pragma once

namespace scanflow::py_bridge {

extern const char* const kUsdWalkScript;

}  // namespace scanflow::py_bridge
