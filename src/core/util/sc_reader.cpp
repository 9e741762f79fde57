#include "util/sc_reader.h"

#include <blosc.h>

#include <cstring>

#include "base/budgets.h"
#include "base/errors.h"
#include "base/os.h"

namespace scanflow {

namespace {

uint64_t big_endian(const std::string& d, size_t at) {
    uint64_t v = 0;
    for (size_t i = 0; i < 8; ++i) v = (v << 8) | static_cast<unsigned char>(d[at + i]);
    return v;
}

uint32_t little_endian32(const std::string& d, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(static_cast<unsigned char>(d[at + i])) << (8 * i);
    return v;
}

}  // namespace

ScReader::ScReader(const std::string& path) : ScReader(path, open_for_reading(path)) {}

ScReader::ScReader(const std::string& path, FileHandle file) : path_(path), file_(std::move(file)) {
    std::FILE* f = file_.get();
    std::fseek(f, 0, SEEK_END);
    long size = std::ftell(f);
    if (size < 28) throw ParseError(path, size, "compressed geometry without its trailer");
    std::string tail(12, '\0');
    std::fseek(f, size - 12, SEEK_SET);
    if (std::fread(tail.data(), 1, 12, f) != 12 || tail.compare(8, 4, "1fcs") != 0)
        throw ParseError(path, size, "compressed geometry without its trailer");
    uint64_t index_length = big_endian(tail, 0);
    if (index_length + 24 > static_cast<uint64_t>(size))
        throw ParseError(path, size - 12, "corrupt index");
    end_ = static_cast<uint64_t>(size) - 12 - index_length;
    std::fseek(f, 12, SEEK_SET);
}

bool ScReader::next_chunk() {
    // A loop, not a call per empty chunk: a container of many empty chunks must not exhaust the
    // stack.
    while (at_ < end_) {
        std::string header(16, '\0');
        if (end_ - at_ < 16 || std::fread(header.data(), 1, 16, file_.get()) != 16)
            throw ParseError(path_, static_cast<long long>(at_), "truncated compressed chunk");
        uint32_t nbytes = little_endian32(header, 4);
        uint32_t cbytes = little_endian32(header, 12);
        if (cbytes < 16 || cbytes > end_ - at_ || nbytes > (256u << 20))
            throw ParseError(path_, static_cast<long long>(at_), "corrupt compressed chunk");
        in_ = header;
        in_.resize(cbytes);
        if (std::fread(in_.data() + 16, 1, cbytes - 16, file_.get()) != cbytes - 16)
            throw ParseError(path_, static_cast<long long>(at_), "truncated compressed chunk");
        // Blosc's zstd chunks inflate by thousands: a small file must not become gigabytes.
        inflated_ += nbytes;
        if (inflated_ > budget::kInflationFloor &&
            inflated_ > budget::kInflationRatio * (at_ + cbytes))
            throw ParseError(path_, static_cast<long long>(at_),
                             "compressed geometry that inflates beyond " +
                                 std::to_string(budget::kInflationRatio) + " times its size");
        out_.assign(nbytes, '\0');
        int n = blosc_decompress(in_.data(), out_.data(), nbytes);
        if (n < 0 || static_cast<uint32_t>(n) != nbytes)
            throw ParseError(path_, static_cast<long long>(at_), "cannot decompress chunk");
        at_ += cbytes;
        pos_ = 0;
        if (nbytes > 0) return true;
    }
    return false;
}

bool ScReader::is_sc(const std::string& path) {
    std::string why;
    FileHandle f(os::open_regular(path, &why));
    return f && is_sc(f.get());
}

bool ScReader::is_sc(std::FILE* file) {
    char head[4] = {};
    size_t n = std::fread(head, 1, 4, file);
    std::rewind(file);
    return n == 4 && std::memcmp(head, "scf1", 4) == 0;
}

}  // namespace scanflow
