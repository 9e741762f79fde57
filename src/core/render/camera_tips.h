// The camera tips: camera errors ("50002") and warnings ("50003") from the camera check of the
// recorded render nodes.
#pragma once

#include <string>
#include <vector>

#include "host/host.h"
#include "run/tips.h"

namespace scanflow {

// Runs the camera check over the render nodes at `render_nodes` and files what it finds in
// `tips`: missing cameras are errors unless some render node has a good camera, then they are
// warnings; Alembic chains that read different files are warnings.
void tips_keyword_info(const std::vector<std::string>& render_nodes, Host& host, Tips& tips);

}  // namespace scanflow
