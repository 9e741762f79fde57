// Geometry files read by our own scene layer: ASCII or binary JSON geometry, plain, gzip or
// Blosc-compressed (.bgeo.sc), with the points' attributes.
#pragma once

#include <string>

#include "host/host.h"
#include "util/json.h"

namespace scanflow::hip {

// The geometry stream of a file, uncompressed.
std::string read_geometry_bytes(const std::string& path);
// The whole geometry as JSON (binary JSON decoded with its token table).
Json decode_geometry(const std::string& data, const std::string& path);
GeometryPtr load_geometry_file(const std::string& path);

}  // namespace scanflow::hip
