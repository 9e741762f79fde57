// Geometry files read by our own scene layer: ASCII or binary JSON geometry, plain, gzip or
// Blosc-compressed (.bgeo.sc), with the points' attributes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "host/host.h"
#include "util/json.h"

namespace scanflow::hip {

// The inflated stream of a Blosc-compressed geometry container (.sc), one chunk in memory at a
// time.
class ScReader {
public:
    explicit ScReader(const std::string& path);
    ~ScReader();
    ScReader(const ScReader&) = delete;
    ScReader& operator=(const ScReader&) = delete;
    int get() {
        if (pos_ == out_.size() && !next_chunk()) return -1;
        ++offset_;
        return static_cast<unsigned char>(out_[pos_++]);
    }
    int peek() {
        if (pos_ == out_.size() && !next_chunk()) return -1;
        return static_cast<unsigned char>(out_[pos_]);
    }
    uint64_t offset() const { return offset_; }
    const std::string& path() const { return path_; }
    // Whether a file is such a container (its first bytes are "scf1").
    static bool is_sc(const std::string& path);

private:
    bool next_chunk();
    std::string path_;
    FILE* file_ = nullptr;
    uint64_t end_ = 0, at_ = 12;
    std::string in_, out_;
    size_t pos_ = 0;
    uint64_t offset_ = 0;
};

// The geometry stream of a file, uncompressed.
std::string read_geometry_bytes(const std::string& path);
// The whole geometry as JSON (binary JSON decoded with its token table).
Json decode_geometry(const std::string& data, const std::string& path);
GeometryPtr load_geometry_file(const std::string& path);

}  // namespace scanflow::hip
