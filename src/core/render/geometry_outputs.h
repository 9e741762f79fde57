// Nodes that write geometry (caches, Alembic, USD, proxies): one record per node.
#pragma once

#include "host/host.h"
#include "util/json.h"

namespace scanflow {

// `geo_node` with one copy of the working record `geo_nodes` appended per geometry-output node,
// in scene order; keys set for one node stay in the working record for the next.
Json get_geo_node_setting(Json geo_nodes, Json geo_node, Host& host);

}  // namespace scanflow
