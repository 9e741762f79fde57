#include "util/json.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/budgets.h"
#include "base/console.h"
#include "base/errors.h"
#include "base/os.h"
#include "base/text.h"
#include "util/json_writer.h"

namespace scanflow {

std::string dump_json(const Json& value, Unencodable policy) {
    StringSink sink;
    JsonWriter out(sink, policy);
    out.value(value);
    out.flush();
    return std::move(sink.text());
}

size_t json_nesting_depth(std::string_view text) {
    size_t depth = 0, deepest = 0;
    bool in_string = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (in_string) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                in_string = false;
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

namespace {

// Whether an integer's digits (with its sign) fit the parser's 64-bit integers.
bool fits_64_bits(std::string_view digits) {
    bool negative = !digits.empty() && digits[0] == '-';
    std::string_view magnitude = digits.substr(negative ? 1 : 0);
    std::string_view limit = negative ? "9223372036854775808" : "18446744073709551615";
    if (magnitude.size() != limit.size()) return magnitude.size() < limit.size();
    return magnitude <= limit;
}

}  // namespace

void MemberIndex::rebuild(const Json::object_t& object) {
    const auto& members = static_cast<const Json::object_t::Container&>(object);
    of_ = &object;
    at_.clear();
    at_.reserve(members.size());
    for (size_t i = 0; i < members.size(); ++i) at_.emplace(members[i].first, i);
}

Json& MemberIndex::member(Json& object, const std::string& key) {
    Json::object_t* found_object = object.get_ptr<Json::object_t*>();
    if (!found_object) return object[key];  // not an object: the library's own error
    auto& members = static_cast<Json::object_t::Container&>(*found_object);
    if (found_object != of_ || at_.size() != members.size()) rebuild(*found_object);
    auto found = at_.find(key);
    if (found != at_.end() && found->second < members.size() && members[found->second].first == key)
        return members[found->second].second;
    if (found != at_.end()) {  // the object changed elsewhere without changing its size
        rebuild(*found_object);
        found = at_.find(key);
        if (found != at_.end()) return members[found->second].second;
    }
    members.emplace_back(key, Json());
    at_.emplace(key, members.size() - 1);
    return members.back().second;
}

std::string LargeIntegers::stand_in(size_t index) const {
    return marker_ + std::to_string(index);
}

std::string LargeIntegers::hide(std::string_view text) {
    marker_ = "large-integer-";
    while (text.find(marker_) != std::string_view::npos) marker_ += "x";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char c = text[i];
        if (c == '"') {  // a string, copied whole
            size_t end = i + 1;
            while (end < text.size() && text[end] != '"') end += text[end] == '\\' ? 2 : 1;
            end = std::min(end + 1, text.size());
            out.append(text.substr(i, end - i));
            i = end;
            continue;
        }
        bool starts_number = (c >= '0' && c <= '9') || c == '-';
        if (!starts_number) {
            out.push_back(c);
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < text.size() && std::strchr("0123456789+-.eE", text[end]) != nullptr) ++end;
        std::string_view number = text.substr(i, end - i);
        bool integer = number.find_first_of(".eE") == std::string_view::npos;
        if (integer && !fits_64_bits(number)) {
            out += "\"" + stand_in(digits_.size()) + "\"";
            digits_.emplace_back(number);
        } else {
            out.append(number);
        }
        i = end;
    }
    return out;
}

std::string LargeIntegers::restore(std::string written) const {
    for (size_t k = 0; k < digits_.size(); ++k) {
        std::string quoted = "\"" + stand_in(k) + "\"";
        written = replace_all(written, quoted, digits_[k]);
    }
    return written;
}

Json read_json_file(const std::string& path, LargeIntegers* large) {
    std::string why;
    std::optional<std::string> text = os::read_file(path, &why);
    if (!text) throw FileError(path, "cannot open " + path + ": " + why);
    // Reading and writing back a document are recursive: a hostile depth would end the process.
    if (json_nesting_depth(*text) > budget::kJsonDepth)
        throw FileError(path, "cannot read JSON from " + path + ": nested deeper than " +
                                  std::to_string(budget::kJsonDepth) + " levels");
    try {
        return Json::parse(large ? large->hide(*text) : *text);
    } catch (const Json::exception& e) {
        // The parser quotes what it last read, which may be the very bytes that are not UTF-8.
        // Its own prefix ("[json.exception.parse_error.101] parse error at ") says nothing to a
        // person; the place and the reason follow it.
        std::string what = e.what();
        if (size_t close = what.find("] ");
            starts_with(what, "[json.exception.") && close != std::string::npos)
            what.erase(0, close + 2);
        for (const char* lead : {"parse error at ", "parse error: "})
            if (starts_with(what, lead)) what.erase(0, std::string_view(lead).size());
        std::string said;
        for (unsigned char c : what) {
            if (c >= 0x20 && c < 0x7f) {
                said.push_back(static_cast<char>(c));
            } else {
                char hex[5];
                std::snprintf(hex, sizeof hex, "\\x%02x", c);
                said += hex;
            }
        }
        throw FileError(path, "cannot read JSON from " + path + ": " + said);
    }
}

void write_file_atomic(const std::string& path, const std::string& text) {
    AtomicFileSink sink(path);
    sink.write(text);
    sink.commit();
}

std::string value_text(const Json& value) {
    if (value.is_string()) return value.get<std::string>();
    return value.dump();
}

}  // namespace scanflow

namespace scanflow {

std::string py_repr(const Json& value) {
    switch (value.type()) {
        case Json::value_t::null:
            return "None";
        case Json::value_t::boolean:
            return value.get<bool>() ? "True" : "False";
        case Json::value_t::string:
            return python_quoted(value.get<std::string>(), Quoted::Text);
        case Json::value_t::array: {
            std::string out = "[";
            bool first = true;
            for (const auto& item : value) {
                if (!first) out += ", ";
                first = false;
                out += py_repr(item);
            }
            return out + "]";
        }
        case Json::value_t::object: {
            std::string out = "{";
            bool first = true;
            for (const auto& item : value.items()) {
                if (!first) out += ", ";
                first = false;
                out += python_quoted(item.key(), Quoted::Text) + ": " + py_repr(item.value());
            }
            return out + "}";
        }
        case Json::value_t::number_float:
            return console::float_text(value.get<double>());
        default:
            return value.dump();
    }
}

}  // namespace scanflow
