#include "nested/geo_cache.h"

#include <cstring>
#include <optional>
#include <unordered_map>

#include "base/errors.h"
#include "base/text.h"
#include "util/binary_json.h"
#include "util/flavour.h"
#include "util/json.h"
#include "util/sc_reader.h"
#include "util/stream_iterator.h"
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

// The binary form: only the map context is kept, and only keys and the values of "filenames"
// are read; everything else is skipped.
class BinaryWalk {
public:
    explicit BinaryWalk(std::vector<std::string>& out) : out_(out) {}
    void begin(bool map) { stack_.push_back({map, map, false}); }
    void end() {
        stack_.pop_back();
        value_done();
    }
    bool wants_value() const {
        return !stack_.empty() && stack_.back().map &&
               (stack_.back().expect_key || stack_.back().filenames);
    }
    void value(const Json* v) {
        if (wants_value() && stack_.back().expect_key) {
            stack_.back().expect_key = false;
            stack_.back().filenames =
                v && v->is_string() && is_filenames_key(v->get<std::string>());
            return;
        }
        if (v && v->is_string() && wants_value()) split_list(v->get<std::string>(), out_);
        value_done();
    }
    bool done() const { return false; }

private:
    struct Frame {
        bool map;
        bool expect_key;
        bool filenames;
    };
    void value_done() {
        if (!stack_.empty() && stack_.back().map) {
            stack_.back().expect_key = true;
            stack_.back().filenames = false;
        }
    }
    std::vector<std::string>& out_;
    std::vector<Frame> stack_;
};

template <typename Source>
void walk_binary(Source& in, std::vector<std::string>& out) {
    BinaryWalk walk(out);
    BinaryJsonReader<Source>(in).read(walk);
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

// The file lists of a streamed geometry, binary or ASCII.
template <typename Source>
std::vector<std::string> lists_of(Source& in) {
    std::vector<std::string> out;
    if (in.peek() == 0x7f) {
        walk_binary(in, out);
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
        StringSource source(data, path);
        walk_binary(source, out);
        return out;
    }
    AsciiWalker walker(out);
    if (!Json::sax_parse(data, &walker))
        throw ParseError(path, static_cast<long long>(walker.error_position),
                         "geometry JSON: " + walker.error);
    return out;
}

std::vector<std::string> geometry_file_lists(const std::string& path) {
    // Compressed containers are inflated a chunk at a time; everything else streams as read. The
    // file is opened once for both the test and the reading.
    FileHandle file = open_for_reading(path);
    if (ScReader::is_sc(file.get())) {
        ScReader in(path, std::move(file));
        return lists_of(in);
    }
    StreamReader in(path, std::move(file));
    return lists_of(in);
}

}  // namespace scanflow
