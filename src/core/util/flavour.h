// Path rules of the platform a run behaves as. The analysis runs mostly on Windows
// workstations and is developed on Linux, so every rule that differs takes an explicit flavour,
// and tests switch it.
#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace scanflow {

struct Flavour {
    bool windows = false;

    char sep() const { return windows ? '\\' : '/'; }
    char path_list_separator() const { return windows ? ';' : ':'; }
    bool is_sep(char c) const { return c == '/' || (windows && c == '\\'); }
};

// The path rules of the system this process runs on.
Flavour native_flavour();

// The host path library's operations, for either flavour.
std::pair<std::string, std::string> splitdrive(std::string_view path, Flavour f);
std::string normpath(std::string_view path, Flavour f);
std::pair<std::string, std::string> splitext(std::string_view path, Flavour f);
std::string dirname(std::string_view path, Flavour f);
std::string basename(std::string_view path, Flavour f);
bool isabs(std::string_view path, Flavour f);
std::string join(std::string_view head, std::string_view tail, Flavour f);
// A relative path made absolute against `cwd` and normalised, as abspath makes it; an absolute
// path as it is, so that what a user typed in full stays what they typed.
std::string absolute(std::string_view path, std::string_view cwd, Flavour f);
// Lower-case and, on Windows, "/" turned into "\": the case rule of name comparisons.
std::string normcase(std::string_view path, Flavour f);

}  // namespace scanflow
