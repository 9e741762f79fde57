// The inflated stream of a Blosc-compressed geometry container (.sc): "scf1", Blosc chunks, an
// index of their sizes, its length and "1fcs"; one chunk in memory at a time.
#pragma once

#include <cstdint>
#include <string>

#include "util/file_handle.h"

namespace scanflow {

class ScReader {
public:
    // Opens the container; a file without the trailer or with a corrupt index is a ParseError.
    explicit ScReader(const std::string& path);
    // The same over `file`, already open on `path`.
    ScReader(const std::string& path, FileHandle file);
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
    // The same for an open file, which is left at its start.
    static bool is_sc(std::FILE* file);

private:
    bool next_chunk();
    std::string path_;
    FileHandle file_;
    uint64_t end_ = 0, at_ = 12;
    uint64_t inflated_ = 0;  // bytes decompressed so far
    std::string in_, out_;
    size_t pos_ = 0;
    uint64_t offset_ = 0;
};

}  // namespace scanflow
