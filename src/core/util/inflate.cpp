#include "util/inflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>

#include "base/budgets.h"

namespace scanflow {

std::optional<std::string> inflate_data(std::string_view data, std::string* why) {
    const uint64_t limit =
        std::max<uint64_t>(budget::kInflationFloor, data.size() * budget::kInflationRatio);
    if (data.size() > UINT32_MAX) {
        *why = "it is too large to inflate in memory";
        return std::nullopt;
    }
    z_stream z{};
    if (inflateInit2(&z, 15 + 32) != Z_OK) {  // either header
        *why = "the inflater could not start";
        return std::nullopt;
    }
    std::string out;
    char chunk[1 << 16];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        status = inflate(&z, Z_NO_FLUSH);
        out.append(chunk, sizeof chunk - z.avail_out);
        if (out.size() > limit) {
            inflateEnd(&z);
            *why = "it inflates more than " + std::to_string(budget::kInflationRatio) +
                   " times its size";
            return std::nullopt;
        }
    }
    inflateEnd(&z);
    if (status != Z_STREAM_END) {
        *why = "its compressed data is corrupt or cut short";
        return std::nullopt;
    }
    return out;
}

}  // namespace scanflow
