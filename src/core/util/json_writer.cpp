#include "util/json_writer.h"

#include <cerrno>
#include <cstring>

#include "base/errors.h"
#include "base/os.h"
#include "util/encoding.h"

namespace scanflow {

AtomicFileSink::AtomicFileSink(const std::string& path) : path_(path) {
    std::string why;
    file_ = os::create_beside(path, &temporary_, &why);
    if (file_ == nullptr) fail(why);
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
}

AtomicFileSink::~AtomicFileSink() {
    if (file_) std::fclose(file_);
    if (!temporary_.empty()) os::remove_file(temporary_);
}

void AtomicFileSink::fail(const std::string& why) {
    throw FileError(path_, "cannot write " + path_ + ": " + why);
}

void AtomicFileSink::write(std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) fail(std::strerror(errno));
}

void AtomicFileSink::commit() {
    if (std::fflush(file_) != 0) fail(std::strerror(errno));
    std::FILE* file = file_;
    file_ = nullptr;
    if (std::fclose(file) != 0) fail(std::strerror(errno));
    std::string why;
    if (!os::replace_file(temporary_, path_, &why)) fail(why);
    temporary_.clear();
}

void JsonWriter::flush() {
    sink_.write(buffer_);
    buffer_.clear();
}

void JsonWriter::newline() {
    buffer_.push_back('\n');
    buffer_.append(4 * levels_.size(), ' ');
}

void JsonWriter::before_value() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (levels_.empty()) return;
    Level& level = levels_.back();
    if (!level.empty) emit(",");
    level.empty = false;
    newline();
}

void JsonWriter::key(std::string_view name) {
    Level& level = levels_.back();
    if (!level.empty) emit(",");
    level.empty = false;
    newline();
    escaped(name);
    emit(": ");
    after_key_ = true;
}

void JsonWriter::begin_object() {
    before_value();
    emit("{");
    levels_.push_back(Level{true});
}

void JsonWriter::begin_array() {
    before_value();
    emit("[");
    levels_.push_back(Level{false});
}

void JsonWriter::end_object() {
    bool empty = levels_.back().empty;
    levels_.pop_back();
    if (!empty) newline();
    emit("}");
}

void JsonWriter::end_array() {
    bool empty = levels_.back().empty;
    levels_.pop_back();
    if (!empty) newline();
    emit("]");
}

void JsonWriter::string(std::string_view text) {
    before_value();
    escaped(text);
}

void JsonWriter::number(long long value) {
    before_value();
    emit(std::to_string(value));
}

void JsonWriter::strings(const std::vector<std::string>& items) {
    begin_array();
    for (const auto& item : items) string(item);
    end_array();
}

void JsonWriter::strings(const TextList& items) {
    begin_array();
    for (std::string_view item : items) string(item);
    end_array();
}

void JsonWriter::value(const Json& v) {
    switch (v.type()) {
        case Json::value_t::object:
            begin_object();
            for (const auto& item : v.items()) {
                key(item.key());
                value(item.value());
            }
            end_object();
            return;
        case Json::value_t::array:
            begin_array();
            for (const auto& item : v) value(item);
            end_array();
            return;
        case Json::value_t::string:
            string(v.get_ref<const std::string&>());
            return;
        default:
            // Numbers, booleans and null in the library's own text form.
            before_value();
            emit(v.dump());
    }
}

// Quotes, back slashes and control characters escaped as the library does; text that is not
// UTF-8 goes through the library, which drops what it cannot encode or fails, by the policy.
void JsonWriter::escaped(std::string_view text) {
    bool plain = true;  // ASCII without anything to escape: most paths
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c >= 0x80 || c == '"' || c == '\\') {
            plain = false;
            break;
        }
    }
    if (plain) {
        buffer_.push_back('"');
        buffer_.append(text);
        buffer_.push_back('"');
        if (buffer_.size() >= (1u << 18)) flush();
        return;
    }
    if (!is_utf8(text)) {
        auto handler = policy_ == Unencodable::Drop ? Json::error_handler_t::ignore
                                                    : Json::error_handler_t::strict;
        emit(Json(std::string(text)).dump(-1, ' ', false, handler));
        return;
    }
    std::string& out = buffer_;
    out.push_back('"');
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out.push_back(ch);
                }
        }
    }
    out.push_back('"');
    if (buffer_.size() >= (1u << 18)) flush();
}

}  // namespace scanflow
