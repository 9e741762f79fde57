// Nodes that write geometry (caches, Alembic, USD, proxies): one record per node.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "host/host.h"
#include "run/scene_records.h"

namespace scanflow {

// The node types that write geometry whenever they have an "execute" parameter (beside them,
// Arnold and Redshift nodes that export scenes or proxies, and a few of their own).
const std::set<std::string>& geometry_output_types();
// The file cache nodes: their locked contents take part in the scan, and their parameters name
// files the scene writes unless they load from disk.
const std::set<std::string>& cache_parent_types();

// One record per geometry-output node, in scene order.
std::vector<OutputNodeRecord> get_geo_node_setting(Host& host);

}  // namespace scanflow
