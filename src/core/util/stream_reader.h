// Reading a file byte by byte in bounded memory, inflating gzip data (detected by its bytes) on
// the way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "util/file_handle.h"

namespace scanflow {

class StreamReader {
public:
    // Opens `path`; a file that cannot be opened is a FileError naming it.
    explicit StreamReader(const std::string& path);
    // The same over `file`, already open on `path` and at its start.
    StreamReader(const std::string& path, FileHandle file);
    ~StreamReader();
    StreamReader(const StreamReader&) = delete;
    StreamReader& operator=(const StreamReader&) = delete;

    // The next byte, or -1 at the end. Corrupt or truncated gzip data, and an inflation ratio
    // that only a decompression bomb has, are FileErrors naming the file.
    int get() {
        if (pos_ == end_ && !fill()) return -1;
        ++offset_;
        return static_cast<unsigned char>(buffer_[pos_++]);
    }
    int peek() {
        if (pos_ == end_ && !fill()) return -1;
        return static_cast<unsigned char>(buffer_[pos_]);
    }
    // Consumes the bytes for which `keep(byte)` holds, a buffer at a time, appending them to
    // `out` when it is not null. Returns the first byte that does not hold (not consumed), -1 at
    // the end, or -2 once `out` holds more than `max_out` bytes.
    template <typename Keep>
    int take_while(Keep keep, std::string* out, size_t max_out = SIZE_MAX) {
        while (pos_ < end_ || fill()) {
            size_t start = pos_;
            while (pos_ < end_ && keep(static_cast<unsigned char>(buffer_[pos_]))) ++pos_;
            offset_ += pos_ - start;
            if (out) {
                out->append(buffer_.get() + start, pos_ - start);
                if (out->size() > max_out) return -2;
            }
            if (pos_ < end_) return static_cast<unsigned char>(buffer_[pos_]);
        }
        return -1;
    }
    // The bytes read ahead and not yet handed out (read more when there are none); empty at the
    // end. consume() hands the first `n` of them out.
    std::string_view buffered() {
        if (pos_ == end_ && !fill()) return {};
        return std::string_view(buffer_.get() + pos_, end_ - pos_);
    }
    void consume(size_t n) {
        pos_ += n;
        offset_ += n;
    }
    // Bytes handed out so far (of the inflated stream for gzip files).
    uint64_t offset() const { return offset_; }
    const std::string& path() const { return path_; }

private:
    bool fill();
    bool read_raw();

    std::string path_;
    FileHandle file_;
    bool gzip_ = false;
    struct Inflater;
    std::unique_ptr<Inflater> z_;
    // Left uninitialised: only the pages a read fills are ever touched, which for the many
    // small files an analysis reads is a few of the block's 256.
    std::unique_ptr<char[]> raw_;  // compressed input, for gzip files only
    std::unique_ptr<char[]> buffer_;
    size_t pos_ = 0, end_ = 0;
    uint64_t offset_ = 0, compressed_ = 0, inflated_ = 0;
    bool raw_done_ = false;
};

// The whole content of a file, inflated when it is gzip-compressed (with the reader's checks).
std::string read_all(const std::string& path);

}  // namespace scanflow
