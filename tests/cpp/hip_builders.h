// Scene containers made in tests: the cpio archive a scene is saved as, and the index-and-data
// archive of asset libraries.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace scanflow::hip {

using Members = std::vector<std::pair<std::string, std::string>>;

inline std::string cpio(const Members& members, bool trailer = true) {
    std::string out;
    auto add = [&](const std::string& name, const std::string& body) {
        char header[77];
        std::snprintf(header, sizeof header,
                      "070707000001000000000666000000000000000001000000%011o%06o%011o", 0u,
                      static_cast<unsigned>(name.size() + 1), static_cast<unsigned>(body.size()));
        out += header;
        out += name;
        out.push_back('\0');
        out += body;
    };
    for (const auto& [name, body] : members) add(name, body);
    if (trailer) add("TRAILER!!!", "");
    return out;
}

// An index-and-data archive: "INDX", a description, the index of names, offsets and sizes,
// then the data; integers big-endian.
inline std::string indx(const Members& entries, const std::string& description = "") {
    auto u32 = [](std::string& out, uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(v >> shift));
    };
    std::string out = "INDX";
    u32(out, 0);
    u32(out, static_cast<uint32_t>(description.size()));
    out += description;
    u32(out, static_cast<uint32_t>(entries.size()));
    std::string data;
    for (const auto& [name, body] : entries) {
        u32(out, static_cast<uint32_t>(name.size()));
        out += name;
        u32(out, static_cast<uint32_t>(data.size()));
        u32(out, static_cast<uint32_t>(body.size()));
        u32(out, 0);
        data += body;
    }
    return out + data;
}

}  // namespace scanflow::hip
