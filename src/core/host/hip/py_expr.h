// Python parameter expressions, evaluated without running them: a farm analyses scenes it did
// not make, and running their code would hand it to them. What only reads parameters and
// combines text and numbers is evaluated here; anything else is an error naming the construct.
#pragma once

#include <string>

#include "host/hip/expr.h"

namespace scanflow::hip {

// Literals, the node and parameter reads of `hou` (pwd, node, parm, evalParm, eval,
// evalAsString, ch, frame, getenv, expandString ...), arithmetic, comparisons, and/or/not,
// conditional expressions, % formatting and a few builtins (str, int, float, len, abs, min,
// max, round). An ExprError names what is not evaluated.
ExprValue evaluate_python(const std::string& code, ExprScope& scope);

}  // namespace scanflow::hip
