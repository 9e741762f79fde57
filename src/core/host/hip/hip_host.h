// The scene host that reads .hip files itself, for machines without the host application.
#pragma once

#include <memory>

#include "host/hip/scene.h"
#include "host/host.h"
#include "util/environment.h"

namespace scanflow::hip {

// `environment`: the variables a scene may name besides its own.
std::shared_ptr<Host> make_hip_host(Environment environment);

// What the scene a host of ours holds made of its asset instances; zeros for any other host.
Scene::AssetFigures asset_figures(Host& host);
// Whether the node was made from its locked asset's definition rather than saved.
bool from_definition(Host& host, const std::string& node_path);

}  // namespace scanflow::hip
