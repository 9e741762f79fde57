#include "nested/geo_cache.h"

#include <cstring>
#include <optional>
#include <unordered_map>

#include "base/errors.h"
#include "base/text.h"
#include "util/flavour.h"
#include "util/json.h"
#include "util/sc_reader.h"
#include "util/stream_reader.h"

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

// Bytes from memory, with the reader's interface.
class MemorySource {
public:
    MemorySource(const std::string& data, std::string path) : data_(data), path_(std::move(path)) {}
    int get() { return pos_ < data_.size() ? static_cast<unsigned char>(data_[pos_++]) : -1; }
    uint64_t offset() const { return pos_; }
    const std::string& path() const { return path_; }

private:
    const std::string& data_;
    std::string path_;
    size_t pos_ = 0;
};

// The binary form, streamed: one byte per token with its payload; strings are often defined
// once in the token table and referenced by id afterwards. Only the map context is kept.
template <typename Source>
class BinaryWalker {
public:
    BinaryWalker(Source& in, std::vector<std::string>& out) : in_(in), out_(out) {}

    void run() {
        if (in_.get() != 0x7f) fail("not binary geometry");
        uint32_t magic = static_cast<uint32_t>(fixed(4, false));
        swap_ = magic != 0x624a534e;
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
        int t;
        while ((t = in_.get()) != -1) {
            std::optional<std::string> text;
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
                case 0x2b: {
                    uint64_t id = length();
                    tokens_[id] = read_string();
                    continue;
                }
                case 0x2d:
                    tokens_.erase(length());
                    continue;
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
        if (!stack.empty()) fail("geometry ends inside a container");
    }

private:
    [[noreturn]] void fail(const std::string& what) {
        throw ParseError(in_.path(), static_cast<long long>(in_.offset()),
                         "binary geometry: " + what);
    }
    int byte() {
        int b = in_.get();
        if (b == -1) fail("truncated");
        return b;
    }
    void skip(uint64_t n) {
        for (uint64_t i = 0; i < n; ++i) byte();
    }
    uint64_t fixed(int n, bool swap) {
        uint64_t v = 0;
        for (int i = 0; i < n; ++i) {
            uint64_t b = static_cast<uint64_t>(byte());
            v |= swap ? b << (8 * (n - 1 - i)) : b << (8 * i);
        }
        return v;
    }
    uint64_t length() {
        int b = byte();
        if (b < 0xf1) return static_cast<uint64_t>(b);
        if (b == 0xf2) return fixed(2, swap_);
        if (b == 0xf4) return fixed(4, swap_);
        if (b == 0xf8) return fixed(8, swap_);
        fail("reserved length code");
    }
    std::string read_string() {
        uint64_t n = length();
        if (n > (64u << 20)) fail("string longer than 64 MB");
        std::string s;
        s.reserve(static_cast<size_t>(n));
        for (uint64_t i = 0; i < n; ++i) s.push_back(static_cast<char>(byte()));
        return s;
    }
    void uniform_array() {
        int type = byte();
        uint64_t count = length();
        switch (type) {
            case 0x10:
                skip(((count + 31) / 32) * 4);
                break;
            case 0x11:
            case 0x21:
                skip(count);
                break;
            case 0x12:
            case 0x22:
            case 0x18:
                skip(count * 2);
                break;
            case 0x13:
            case 0x19:
                skip(count * 4);
                break;
            case 0x14:
            case 0x1a:
                skip(count * 8);
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

    Source& in_;
    std::vector<std::string>& out_;
    bool swap_ = false;
    std::unordered_map<uint64_t, std::string> tokens_;
};

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
        error_position = position;
        error = ex.what();
        return false;
    }
    std::size_t error_position = 0;
    std::string error;

private:
    bool reset() {
        pending_ = false;
        return true;
    }
    std::vector<std::string>& out_;
    bool pending_ = false;
};

// An input iterator over a streamed file, for the JSON parser.
template <typename Source>
class StreamIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;
    StreamIterator() = default;
    explicit StreamIterator(Source* in) : in_(in) { load(); }
    const char& operator*() const { return current_; }
    StreamIterator& operator++() {
        load();
        return *this;
    }
    bool operator==(const StreamIterator& other) const { return at_end() == other.at_end(); }
    bool operator!=(const StreamIterator& other) const { return !(*this == other); }

private:
    void load() {
        int c = in_ ? in_->get() : -1;
        if (c == -1) {
            in_ = nullptr;
        } else {
            current_ = static_cast<char>(c);
        }
    }
    bool at_end() const { return in_ == nullptr; }
    Source* in_ = nullptr;
    char current_ = 0;
};

// The file lists of a streamed geometry, binary or ASCII.
template <typename Source>
std::vector<std::string> lists_of(Source& in) {
    std::vector<std::string> out;
    if (in.peek() == 0x7f) {
        BinaryWalker<Source>(in, out).run();
        return out;
    }
    AsciiWalker walker(out);
    if (!Json::sax_parse(StreamIterator<Source>(&in), StreamIterator<Source>(), &walker))
        throw ParseError(in.path(), static_cast<long long>(walker.error_position),
                         "geometry JSON: " + walker.error);
    return out;
}

}  // namespace

std::vector<std::string> geometry_file_lists_from(const std::string& data,
                                                  const std::string& path) {
    std::vector<std::string> out;
    if (!data.empty() && static_cast<unsigned char>(data[0]) == 0x7f) {
        MemorySource source(data, path);
        BinaryWalker<MemorySource>(source, out).run();
        return out;
    }
    AsciiWalker walker(out);
    if (!Json::sax_parse(data, &walker))
        throw ParseError(path, static_cast<long long>(walker.error_position),
                         "geometry JSON: " + walker.error);
    return out;
}

std::vector<std::string> geometry_file_lists(const std::string& path) {
    // Compressed containers are inflated a chunk at a time; everything else streams as read.
    if (ScReader::is_sc(path)) {
        ScReader in(path);
        return lists_of(in);
    }
    StreamReader in(path);
    return lists_of(in);
}

}  // namespace scanflow
