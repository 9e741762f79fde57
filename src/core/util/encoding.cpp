#include "util/encoding.h"

#include <cstdio>

#include "base/console.h"
#include "base/os.h"
#include "base/text.h"
#include "base/timed.h"
#include "util/flavour.h"

namespace scanflow {

namespace {

bool is_utf8_name(const std::string& name) {
    std::string lowered = ascii_lower(name);
    return lowered == "utf-8" || lowered == "utf8" || lowered == "utf_8";
}

}  // namespace

bool is_utf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        unsigned min;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2, min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3, min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4, min = 0x10000;
        } else {
            return false;
        }
        if (i + len > s.size()) return false;
        unsigned cp = c & (0xFF >> (len + 1));
        for (size_t k = 1; k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += len;
    }
    return true;
}

std::optional<std::string> convert_strict(std::string_view bytes, const std::string& from,
                                          const std::string& to) {
    if (is_utf8_name(from) && is_utf8_name(to)) {
        if (!is_utf8(bytes)) return std::nullopt;
        return std::string(bytes);
    }
    // Seven-bit text is the same in every set this reads; some systems strip the eighth bit
    // instead of refusing it.
    if (ascii_lower(from) == "ascii") {
        for (unsigned char c : bytes)
            if (c >= 0x80) return std::nullopt;
        return std::string(bytes);
    }
    std::optional<std::string> out = os::convert_charset(bytes, from, to);
    // The result must itself be UTF-8 when decoding; encoders may produce anything.
    if (out && is_utf8_name(to) && !is_utf8(*out)) return std::nullopt;
    return out;
}

const std::string& filesystem_encoding() {
    static const std::string name = "utf-8";
    return name;
}

std::optional<std::string> get_encode(std::string_view bytes) {
    static const char* const encodings[] = {"utf-8", nullptr, "gb18030", "ascii", "gbk", "gb2312"};
    for (const char* name : encodings) {
        std::string encoding = name == nullptr ? filesystem_encoding() : name;
        if (auto text = convert_strict(bytes, encoding, "utf-8")) return text;
    }
    return std::nullopt;
}

std::string bety_out_decode(std::string_view bytes) {
    for (const std::string& encoding :
         {filesystem_encoding(), std::string("GB18030"), std::string("utf-8")}) {
        if (auto text = convert_strict(bytes, encoding, "utf-8")) return *text;
    }
    return python_quoted(bytes, Quoted::Bytes);
}

std::optional<std::string> encode_text(std::string_view text, const std::string& encoding,
                                       std::string* error) {
    std::string lowered = ascii_lower(encoding);
    std::string target = lowered == "system"  ? filesystem_encoding()
                         : lowered == "utf-8" ? std::string("utf-8")
                         : lowered == "gbk"   ? std::string("gbk")
                                              : encoding;
    if (!os::convert_charset("", "utf-8", target)) {
        if (error) *error = "unknown encoding: " + encoding;
        return std::nullopt;
    }
    auto out = convert_strict(text, "utf-8", target);
    if (!out && error)
        *error =
            "'" + target + "' codec can't encode the text: a character has no " + target + " form";
    return out;
}

void unicode_to_str(std::string_view text, const std::string& str_encode) {
    timed(1, "unicode_to_str", [&] {
        std::string error;
        if (!encode_text(text, str_encode, &error)) {
            console::print("[err]unicode_to_str:encode " + std::string(text) + " to " + str_encode +
                           " failed");
            console::print(error);
        }
    });
}

}  // namespace scanflow
