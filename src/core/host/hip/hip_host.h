// The scene host that reads .hip files itself, for machines without the host application.
#pragma once

#include <memory>

#include "host/host.h"

namespace scanflow::hip {

std::shared_ptr<Host> make_hip_host();

}  // namespace scanflow::hip
