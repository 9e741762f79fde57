#include "scan/geo_cache.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include "entry/errors.h"
#include "upload/ass_reader.h"
#include "util/flavour.h"
#include "util/json.h"

namespace scanflow {

namespace {

// What a "filenames" value holds: "[a.bgeo,b.bgeo]" with the names quoted or not.
void split_list(const std::string& value, std::vector<std::string>& out) {
    if (value.size() < 2 || value.front() != '[' || value.back() != ']') return;
    std::string inner = value.substr(1, value.size() - 2);
    size_t start = 0;
    while (start <= inner.size()) {
        size_t comma = inner.find(',', start);
        std::string part =
            inner.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        size_t b = part.find_first_not_of("\\\"");
        size_t e = part.find_last_not_of("\\\"");
        part = b == std::string::npos ? "" : part.substr(b, e - b + 1);
        out.push_back(slashes_forward(part));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
}

bool is_filenames_key(const std::string& key) {
    return ascii_lower(key) == "filenames";
}

// The ASCII form through a SAX walk: only keys of objects and the string that follows count.
class AsciiWalker : public nlohmann::json_sax<Json> {
public:
    explicit AsciiWalker(std::vector<std::string>& out) : out_(out) {}
    bool null() override { return reset(); }
    bool boolean(bool) override { return reset(); }
    bool number_integer(number_integer_t) override { return reset(); }
    bool number_unsigned(number_unsigned_t) override { return reset(); }
    bool number_float(number_float_t, const string_t&) override { return reset(); }
    bool string(string_t& val) override {
        if (pending_) split_list(val, out_);
        return reset();
    }
    bool binary(binary_t&) override { return reset(); }
    bool start_object(std::size_t) override { return reset(); }
    bool key(string_t& val) override {
        pending_ = is_filenames_key(val);
        return true;
    }
    bool end_object() override { return reset(); }
    bool start_array(std::size_t) override { return reset(); }
    bool end_array() override { return reset(); }
    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception& ex) override {
        error_ = "offset " + std::to_string(position) + ": " + ex.what();
        return false;
    }
    std::string error_;

private:
    bool reset() {
        pending_ = false;
        return true;
    }
    std::vector<std::string>& out_;
    bool pending_ = false;
};

// The binary form: one byte per token with its payload; strings are often defined once in the
// token table and referenced by id afterwards.
class BinaryWalker {
public:
    BinaryWalker(const std::string& data, const std::string& path, std::vector<std::string>& out)
        : d_(data), path_(path), out_(out) {}

    void run() {
        if (d_.size() < 5) fail("truncated header");
        uint32_t magic;
        std::memcpy(&magic, d_.data() + 1, 4);
        swap_ = magic != 0x624a534e;
        pos_ = 5;
        // A stack of containers: for maps, whether a key is expected next and the last key.
        struct Frame {
            bool map;
            bool expect_key;
            bool filenames;
        };
        std::vector<Frame> stack;
        auto value_done = [&] {
            if (!stack.empty() && stack.back().map) {
                stack.back().expect_key = true;
                stack.back().filenames = false;
            }
        };
        while (pos_ < d_.size()) {
            unsigned char t = byte();
            switch (t) {
                case 0x7b:
                    stack.push_back({true, true, false});
                    continue;
                case 0x5b:
                    stack.push_back({false, false, false});
                    continue;
                case 0x7d:
                case 0x5d:
                    if (stack.empty()) fail("unbalanced end marker");
                    stack.pop_back();
                    value_done();
                    continue;
                case 0x2b: {  // token definition: no value
                    uint64_t id = length();
                    tokens_[id] = read_string();
                    continue;
                }
                case 0x2d:
                    tokens_.erase(length());
                    continue;
                default:
                    break;
            }
            std::optional<std::string> text;
            switch (t) {
                case 0x00:
                case 0x30:
                case 0x31:
                    break;
                case 0x10:
                case 0x11:
                case 0x21:
                    skip(1);
                    break;
                case 0x12:
                case 0x22:
                case 0x18:
                    skip(2);
                    break;
                case 0x13:
                case 0x19:
                    skip(4);
                    break;
                case 0x14:
                case 0x1a:
                    skip(8);
                    break;
                case 0x27:
                    text = read_string();
                    break;
                case 0x26: {
                    auto it = tokens_.find(length());
                    if (it == tokens_.end()) fail("reference to an undefined token");
                    text = it->second;
                    break;
                }
                case 0x40:
                    uniform_array();
                    break;
                default:
                    fail("unknown token " + std::to_string(t));
            }
            if (!stack.empty() && stack.back().map && stack.back().expect_key) {
                stack.back().expect_key = false;
                stack.back().filenames = text && is_filenames_key(*text);
                continue;
            }
            if (text && !stack.empty() && stack.back().map && stack.back().filenames)
                split_list(*text, out_);
            value_done();
        }
    }

private:
    [[noreturn]] void fail(const std::string& what) {
        throw ParseError(path_, static_cast<long long>(pos_), "binary geometry: " + what);
    }
    unsigned char byte() {
        if (pos_ >= d_.size()) fail("truncated");
        return static_cast<unsigned char>(d_[pos_++]);
    }
    void skip(uint64_t n) {
        if (n > d_.size() - pos_) fail("truncated");
        pos_ += n;
    }
    uint64_t fixed(int n) {
        if (static_cast<uint64_t>(n) > d_.size() - pos_) fail("truncated");
        uint64_t v = 0;
        for (int i = 0; i < n; ++i) {
            uint64_t b = static_cast<unsigned char>(d_[pos_ + static_cast<size_t>(i)]);
            v |= swap_ ? b << (8 * (n - 1 - i)) : b << (8 * i);
        }
        pos_ += static_cast<size_t>(n);
        return v;
    }
    uint64_t length() {
        unsigned char b = byte();
        if (b < 0xf1) return b;
        if (b == 0xf2) return fixed(2);
        if (b == 0xf4) return fixed(4);
        if (b == 0xf8) return fixed(8);
        fail("reserved length code");
    }
    std::string read_string() {
        uint64_t n = length();
        if (n > d_.size() - pos_) fail("truncated string");
        std::string s = d_.substr(pos_, n);
        pos_ += n;
        return s;
    }
    void uniform_array() {
        unsigned char type = byte();
        uint64_t count = length();
        auto elements = [&](uint64_t size) {
            if (size != 0 && count > (d_.size() - pos_) / size) fail("truncated array");
            pos_ += count * size;
        };
        switch (type) {
            case 0x10:
                elements(0);
                pos_ += ((count + 31) / 32) * 4;
                if (pos_ > d_.size()) fail("truncated array");
                break;
            case 0x11:
            case 0x21:
                elements(1);
                break;
            case 0x12:
            case 0x22:
            case 0x18:
                elements(2);
                break;
            case 0x13:
            case 0x19:
                elements(4);
                break;
            case 0x14:
            case 0x1a:
                elements(8);
                break;
            case 0x27:
                for (uint64_t i = 0; i < count; ++i) read_string();
                break;
            case 0x26:
                for (uint64_t i = 0; i < count; ++i) length();
                break;
            default:
                fail("unknown uniform array type");
        }
    }

    const std::string& d_;
    const std::string& path_;
    std::vector<std::string>& out_;
    size_t pos_ = 0;
    bool swap_ = false;
    std::unordered_map<uint64_t, std::string> tokens_;
};

}  // namespace

std::vector<std::string> geometry_file_lists_from(const std::string& data,
                                                  const std::string& path) {
    std::vector<std::string> out;
    if (!data.empty() && static_cast<unsigned char>(data[0]) == 0x7f) {
        BinaryWalker(data, path, out).run();
        return out;
    }
    AsciiWalker walker(out);
    if (!Json::sax_parse(data, &walker))
        throw ParseError(path, 0, "geometry JSON: " + walker.error_);
    return out;
}

std::vector<std::string> geometry_file_lists(const std::string& path) {
    return geometry_file_lists_from(read_maybe_gzip(path), path);
}

}  // namespace scanflow
