// The scene host that reads .hip files itself, for machines without the host application.
#pragma once

#include <memory>

#include "host/host.h"
#include "util/environment.h"

namespace scanflow::hip {

// `environment`: the variables a scene may name besides its own.
std::shared_ptr<Host> make_hip_host(Environment environment);

}  // namespace scanflow::hip
