// The host's binary JSON (the ".bgeo" geometry form), read as a stream of events: one byte per
// token with its payload; strings are often defined once in a token table and referenced by id
// afterwards. Values the handler does not want are skipped without being built.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>

#include "base/errors.h"
#include "util/json.h"

namespace scanflow {

// Bytes held in memory, as a source of the reader.
class StringSource {
public:
    StringSource(const std::string& data, std::string path) : data_(data), path_(std::move(path)) {}
    int get() { return pos_ < data_.size() ? static_cast<unsigned char>(data_[pos_++]) : -1; }
    uint64_t offset() const { return pos_; }
    const std::string& path() const { return path_; }

private:
    const std::string& data_;
    std::string path_;
    size_t pos_ = 0;
};

// `Source` offers get() (a byte, or -1 at the end), offset() and path(). `Handler` offers
// begin(bool map), end(), wants_value(), value(const Json* v) (null for a skipped value) and
// done() (true to stop before the input ends).
template <typename Source>
class BinaryJsonReader {
public:
    explicit BinaryJsonReader(Source& in) : in_(in) {}

    template <typename Handler>
    void read(Handler& h) {
        if (in_.get() != 0x7f) fail("not binary geometry");
        swap_ = fixed(4, false) != 0x624a534e;
        int depth = 0;
        while (!h.done()) {
            int t = in_.get();
            if (t == -1) break;
            if (t == 0x7b || t == 0x5b) {
                h.begin(t == 0x7b);
                ++depth;
            } else if (t == 0x7d || t == 0x5d) {
                if (depth-- == 0) fail("unbalanced end marker");
                h.end();
            } else if (t == 0x2b) {
                uint64_t id = length();
                tokens_[id] = read_string(true);
            } else if (t == 0x2d) {
                tokens_.erase(length());
            } else {
                bool keep = h.wants_value();
                Json v = scalar(t, keep);
                h.value(keep ? &v : nullptr);
            }
        }
        if (depth != 0) fail("geometry ends inside a container");
    }

    [[noreturn]] void fail(const std::string& what) {
        throw ParseError(in_.path(), static_cast<long long>(in_.offset()),
                         "binary geometry: " + what);
    }

private:
    int byte() {
        int b = in_.get();
        if (b == -1) fail("truncated");
        return b;
    }
    uint64_t fixed(int n, bool swap) {
        uint64_t v = 0;
        for (int i = 0; i < n; ++i) {
            uint64_t b = static_cast<uint64_t>(byte());
            v |= swap ? b << (8 * (n - 1 - i)) : b << (8 * i);
        }
        return v;
    }
    uint64_t fixed(int n) { return fixed(n, swap_); }
    uint64_t length() {
        int b = byte();
        if (b < 0xf1) return static_cast<uint64_t>(b);
        if (b == 0xf2) return fixed(2);
        if (b == 0xf4) return fixed(4);
        if (b == 0xf8) return fixed(8);
        fail("reserved length code");
    }
    std::string read_string(bool keep) {
        uint64_t n = length();
        if (n > (64u << 20)) fail("string longer than 64 MB");
        std::string s;
        if (keep) s.reserve(static_cast<size_t>(n));
        for (uint64_t i = 0; i < n; ++i) {
            char c = static_cast<char>(byte());
            if (keep) s.push_back(c);
        }
        return s;
    }
    const std::string& token(bool must_exist) {
        static const std::string none;
        auto it = tokens_.find(length());
        if (it != tokens_.end()) return it->second;
        if (must_exist) fail("reference to an undefined token");
        return none;
    }
    template <typename Float, typename Bits>
    Json real(int bytes) {
        Bits bits = static_cast<Bits>(fixed(bytes));
        Float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    // One element of type `t`; `keep` false reads past it and gives null.
    Json element(int t, bool keep, bool in_uniform) {
        switch (t) {
            case 0x00:
                return nullptr;
            case 0x30:
                return false;
            case 0x31:
                return true;
            case 0x10:
                return byte() != 0;
            case 0x11:
                return static_cast<int8_t>(fixed(1));
            case 0x12:
                return static_cast<int16_t>(fixed(2));
            case 0x13:
                return static_cast<int32_t>(fixed(4));
            case 0x14:
                return static_cast<int64_t>(fixed(8));
            case 0x21:
                return fixed(1);
            case 0x22:
                return fixed(2);
            case 0x18:
                fixed(2);
                return 0.0;  // half floats are not needed here
            case 0x19:
                return real<float, uint32_t>(4);
            case 0x1a:
                return real<double, uint64_t>(8);
            case 0x27:
                return keep ? Json(read_string(true)) : (read_string(false), Json());
            case 0x26:
                return keep ? Json(token(!in_uniform)) : (token(!in_uniform), Json());
            default:
                fail(in_uniform ? "unknown uniform array type"
                                : "unknown token " + std::to_string(t));
        }
    }
    Json uniform(bool keep) {
        int type = byte();
        if (type == 0x00 || type == 0x30 || type == 0x31) fail("unknown uniform array type");
        uint64_t count = length();
        Json out = keep ? Json::array() : Json();
        if (type == 0x10) {  // bits, packed in 32-bit words
            for (uint64_t w = 0; w < (count + 31) / 32; ++w) {
                uint32_t bits = static_cast<uint32_t>(fixed(4));
                for (uint64_t i = w * 32; keep && i < count && i < w * 32 + 32; ++i)
                    out.push_back(((bits >> (i % 32)) & 1u) != 0);
            }
            return out;
        }
        for (uint64_t i = 0; i < count; ++i) {
            Json v = element(type, keep, true);
            if (keep) out.push_back(std::move(v));
        }
        return out;
    }
    // The bytes of an element type of fixed size, or -1 for strings, tokens and unknown types.
    static int width(int t) {
        switch (t) {
            case 0x00:
            case 0x30:
            case 0x31:
                return 0;
            case 0x10:
            case 0x11:
            case 0x21:
                return 1;
            case 0x12:
            case 0x22:
            case 0x18:
                return 2;
            case 0x13:
            case 0x19:
                return 4;
            case 0x14:
            case 0x1a:
                return 8;
            default:
                return -1;
        }
    }
    void skip(uint64_t n) {
        for (uint64_t i = 0; i < n; ++i) byte();
    }
    void skip_element(int t, bool in_uniform) {
        int w = width(t);
        if (w >= 0) return skip(static_cast<uint64_t>(w));
        if (t == 0x27 || t == 0x26) {
            (void)element(t, false, in_uniform);
            return;
        }
        fail(in_uniform ? "unknown uniform array type" : "unknown token " + std::to_string(t));
    }
    void skip_uniform() {
        int type = byte();
        if (type == 0x00 || type == 0x30 || type == 0x31) fail("unknown uniform array type");
        uint64_t count = length();
        if (type == 0x10) return skip(((count + 31) / 32) * 4);
        int w = width(type);
        if (w > 0) return skip(count * static_cast<uint64_t>(w));
        for (uint64_t i = 0; i < count; ++i) skip_element(type, true);
    }
    Json scalar(int t, bool keep) {
        if (!keep) {
            if (t == 0x40) {
                skip_uniform();
            } else {
                skip_element(t, false);
            }
            return Json();
        }
        if (t == 0x40) return uniform(true);
        return element(t, true, false);
    }

    Source& in_;
    bool swap_ = false;
    std::unordered_map<uint64_t, std::string> tokens_;
};

}  // namespace scanflow
