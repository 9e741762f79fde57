// The camera check: each render node's camera, sorted into good, inconsistent and missing.
#pragma once

#include <string>
#include <utility>

#include "host/host.h"
#include "util/json.h"

namespace scanflow {

// An Alembic camera chain: ("normal" | "diff" | "miss" | "notfit", node path → [file, 1 when it
// is the archive's file, "exist" | "notexist"]).
std::pair<std::string, Json> abc_find(const std::string& path, Host& host);

// The cameras of render-node records, under "normal", "diff" and "miss" (each only when not
// empty).
Json CheckCamera(const Json& records, Host& host);

}  // namespace scanflow
