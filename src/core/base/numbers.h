// Text read as a number the way the interpreter's int() and float() read it, so that a value
// saved as text ("1", " 2 ", "3.5") is the number it shows, and any other text is an error,
// never a silent 0.
#pragma once

#include <optional>
#include <string_view>

namespace scanflow {

// int(): surrounding white space, an optional sign, decimal digits with single underscores
// between them. Nothing when the text is not such a number or does not fit.
std::optional<long long> int_of_text(std::string_view text);
// float(): surrounding white space, an optional sign, then digits with an optional fraction
// and exponent (underscores between digits), or inf, infinity or nan in any case.
std::optional<double> float_of_text(std::string_view text);

// As above, or an error named as the interpreter names it (ValueError: invalid literal for
// int() with base 10: 'x' / could not convert string to float: 'x').
long long int_from_text(std::string_view text);
double float_from_text(std::string_view text);

}  // namespace scanflow
