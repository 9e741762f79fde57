// Nodes that write geometry (caches, Alembic, USD, proxies): one record per node.
#pragma once

#include <set>
#include <string>

#include "host/host.h"
#include "util/json.h"

namespace scanflow {

// The node types that write geometry whenever they have an "execute" parameter (beside them,
// Arnold and Redshift nodes that export scenes or proxies, and a few of their own).
const std::set<std::string>& geometry_output_types();
// The file cache nodes: their locked contents take part in the scan, and their parameters name
// files the scene writes unless they load from disk.
const std::set<std::string>& cache_parent_types();

// `geo_node` with one copy of the working record `geo_nodes` appended per geometry-output node,
// in scene order; keys set for one node stay in the working record for the next.
Json get_geo_node_setting(Json geo_nodes, Json geo_node, Host& host);

}  // namespace scanflow
