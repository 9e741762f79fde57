#include "util/stream_reader.h"

#include "base/budgets.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>

#include "base/errors.h"

namespace scanflow {

struct StreamReader::Inflater {
    z_stream z{};
    bool initialised = false;
    bool finished = false;
    ~Inflater() {
        if (initialised) inflateEnd(&z);
    }
};

namespace {
constexpr size_t kBlock = 1 << 20;
constexpr uint64_t kMaxRatio = budget::kInflationRatio;
constexpr uint64_t kRatioFloor = budget::kInflationFloor;
}  // namespace

StreamReader::StreamReader(const std::string& path) : StreamReader(path, open_for_reading(path)) {}

StreamReader::StreamReader(const std::string& path, FileHandle file)
    : path_(path), file_(std::move(file)), buffer_(new char[kBlock]) {
    int a = std::fgetc(file_.get()), b = std::fgetc(file_.get());
    gzip_ = a == 0x1f && b == 0x8b;
    std::rewind(file_.get());
    if (gzip_) {
        raw_.reset(new char[kBlock]);
        z_ = std::make_unique<Inflater>();
        z_->initialised = inflateInit2(&z_->z, 15 + 32) == Z_OK;
        if (!z_->initialised) throw FileError(path, "cannot inflate " + path);
    }
}

StreamReader::~StreamReader() = default;

bool StreamReader::read_raw() {
    size_t n = std::fread(raw_.get(), 1, kBlock, file_.get());
    if (n == 0) {
        if (std::ferror(file_.get()))
            throw FileError(path_, "cannot read " + path_ + ": " + std::strerror(errno));
        raw_done_ = true;
        return false;
    }
    compressed_ += n;
    z_->z.next_in = reinterpret_cast<Bytef*>(raw_.get());
    z_->z.avail_in = static_cast<uInt>(n);
    return true;
}

bool StreamReader::fill() {
    pos_ = end_ = 0;
    if (!gzip_) {
        size_t n = std::fread(buffer_.get(), 1, kBlock, file_.get());
        if (n == 0 && std::ferror(file_.get()))
            throw FileError(path_, "cannot read " + path_ + ": " + std::strerror(errno));
        end_ = n;
        return n > 0;
    }
    if (z_->finished) return false;
    while (end_ == 0) {
        if (z_->z.avail_in == 0 && !read_raw()) {
            throw FileError(path_, "truncated gzip data in " + path_ + " at offset " +
                                       std::to_string(compressed_));
        }
        z_->z.next_out = reinterpret_cast<Bytef*>(buffer_.get());
        z_->z.avail_out = static_cast<uInt>(kBlock);
        int rc = inflate(&z_->z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
            throw FileError(path_, "corrupt gzip data in " + path_ + " at offset " +
                                       std::to_string(compressed_));
        end_ = kBlock - z_->z.avail_out;
        inflated_ += end_;
        if (inflated_ > kRatioFloor && inflated_ > kMaxRatio * compressed_)
            throw FileError(path_, path_ + " inflates beyond " + std::to_string(kMaxRatio) +
                                       " times its size: refused as a decompression bomb");
        if (rc == Z_STREAM_END) {
            z_->finished = true;
            break;
        }
    }
    return end_ > 0;
}

std::string read_all(const std::string& path) {
    StreamReader in(path);
    std::string out;
    for (int c; (c = in.get()) != -1;) out.push_back(static_cast<char>(c));
    return out;
}

}  // namespace scanflow
