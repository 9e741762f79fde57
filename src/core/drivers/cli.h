// The command line: options, run modes and the top-level failure handler.
#pragma once

#include <string>
#include <vector>

#include "drivers/services.h"

namespace scanflow {

// Runs the system's command line on `argv` and returns the process exit code (0 or 886). A
// missing option value that the run mode needs raises an OptionError, before any analysis.
int run_command_line(const std::vector<std::string>& argv, const Services& services);

// The top-level failure handler around `body`: whatever escapes it is printed as the error
// block, and the result is 886; otherwise 0.
template <typename Fn>
int run_guarded(Fn&& body);

namespace detail {
void print_error_block(const std::string& trace);
std::string trace_of_current_exception();
}  // namespace detail

template <typename Fn>
int run_guarded(Fn&& body) {
    try {
        body();
        return 0;
    } catch (...) {
        detail::print_error_block(detail::trace_of_current_exception());
        return 886;
    }
}

}  // namespace scanflow
