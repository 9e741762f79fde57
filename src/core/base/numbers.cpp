#include "base/numbers.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "base/errors.h"
#include "base/text.h"

namespace scanflow {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Digits with single underscores between them, from `at`; appends the digits to `out` and
// returns where they end, or npos when the underscores are misplaced. No digits: `at` itself.
size_t digit_run(std::string_view text, size_t at, std::string& out) {
    size_t i = at;
    while (i < text.size()) {
        if (is_digit(text[i])) {
            out.push_back(text[i++]);
        } else if (text[i] == '_' && i > at && i + 1 < text.size() && is_digit(text[i + 1])) {
            ++i;
        } else {
            break;
        }
    }
    return i;
}

}  // namespace

std::optional<long long> int_of_text(std::string_view whole) {
    const std::string trimmed = strip_blanks(whole);
    std::string_view text = trimmed;
    std::string digits;
    size_t at = 0;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        if (text[0] == '-') digits.push_back('-');
        at = 1;
    }
    size_t end = digit_run(text, at, digits);
    if (end == at || end != text.size()) return std::nullopt;
    long long value = 0;
    auto [ptr, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || ptr != digits.data() + digits.size()) return std::nullopt;
    return value;
}

std::optional<double> float_of_text(std::string_view whole) {
    const std::string trimmed = strip_blanks(whole);
    std::string_view text = trimmed;
    bool negative = !text.empty() && text[0] == '-';
    std::string_view body = text;
    if (!body.empty() && (body[0] == '+' || body[0] == '-')) body.remove_prefix(1);
    const std::string word = ascii_lower(body);
    if (word == "inf" || word == "infinity")
        return negative ? -std::numeric_limits<double>::infinity()
                        : std::numeric_limits<double>::infinity();
    if (word == "nan") return std::numeric_limits<double>::quiet_NaN();
    std::string number = negative ? "-" : "";
    size_t mantissa_start = number.size();
    size_t i = digit_run(body, 0, number);
    if (i < body.size() && body[i] == '.') {
        number.push_back('.');
        i = digit_run(body, i + 1, number);
    }
    if (number.size() - mantissa_start == 0 || number.substr(mantissa_start) == ".")
        return std::nullopt;  // no digit at all
    if (i < body.size() && (body[i] == 'e' || body[i] == 'E')) {
        number.push_back('e');
        ++i;
        if (i < body.size() && (body[i] == '+' || body[i] == '-')) number.push_back(body[i++]);
        size_t exponent = i;
        i = digit_run(body, i, number);
        if (i == exponent) return std::nullopt;
    }
    if (i != body.size()) return std::nullopt;
#if defined(__cpp_lib_to_chars)
    double value = 0;
    auto [ptr, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ptr != number.data() + number.size()) return std::nullopt;
    if (error == std::errc::result_out_of_range)  // as the interpreter: overflow is infinite
        return std::strtod(number.c_str(), nullptr);
    return value;
#else
    // Standard libraries without floating-point from_chars (libc++ before 17): the text is a
    // plain decimal number by now, which strtod reads the same in the C locale.
    return std::strtod(number.c_str(), nullptr);
#endif
}

long long int_from_text(std::string_view text) {
    if (auto value = int_of_text(text)) return *value;
    throw Error("invalid literal for int() with base 10: " + python_quoted(text, Quoted::Text),
                "ValueError");
}

double float_from_text(std::string_view text) {
    if (auto value = float_of_text(text)) return *value;
    throw Error("could not convert string to float: " + python_quoted(text, Quoted::Text),
                "ValueError");
}

}  // namespace scanflow
