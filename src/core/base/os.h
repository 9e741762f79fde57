// What the core asks of the operating system, in one place: every other file reaches the system
// through these functions, and each platform has its own implementation (os_posix.cpp,
// os_win32.cpp) chosen when compiling. Paths are UTF-8 text; the Windows implementation converts
// them at this seam.
#pragma once

#include <optional>
#include <string>

namespace scanflow::os {

// The process's working directory, with the platform's own separators.
std::string current_directory();

}  // namespace scanflow::os
