// The JSON form of a host value, for the writers of records that hold one.
#pragma once

#include "host/value.h"
#include "util/json.h"

namespace scanflow {

// Numbers stay numbers, tuples become lists, no value is null.
Json value_json(const Value& v);

}  // namespace scanflow
