// The functions of the host's expression language that can be computed from the scene file
// alone, by name.
#pragma once

#include <string>
#include <vector>

#include "host/hip/expr.h"

namespace scanflow::hip {

// A function's failure of its own (too few arguments, a function that needs the host or is
// unknown); the evaluator adds the expression it happened in.
class FunctionError : public ExprError {
public:
    explicit FunctionError(const std::string& message) : ExprError(message) {}
};

// The value of `name(args)`. Failures of the scene the function asks (through `scope`) pass as
// they are.
ExprValue call_function(const std::string& name, const std::vector<ExprValue>& args,
                        ExprScope& scope);

// The truth of a value as the language tests it: a non-empty text, a non-zero number.
bool truth(const ExprValue& v);

}  // namespace scanflow::hip
