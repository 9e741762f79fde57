// The camera tips: camera errors ("50002") and warnings ("50003") from the camera check of the
// recorded render nodes.
#pragma once

#include "host/host.h"
#include "run/tips.h"
#include "util/json.h"

namespace scanflow {

// Runs the camera check over `rop_records` and files what it finds in `tips`: missing
// cameras are errors unless some render node has a good camera, then they are warnings; Alembic
// chains that read different files are warnings.
void tips_keyword_info(const Json& rop_records, Host& host, Tips& tips);

}  // namespace scanflow
