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
// block, and the result is 886; otherwise 0. `cause`, when given, receives what went wrong in one
// line for a person.
template <typename Fn>
int run_guarded(Fn&& body, std::string* cause = nullptr);

namespace detail {
void print_error_block(const std::string& trace);
std::string trace_of_current_exception();
std::string cause_of_current_exception();
}  // namespace detail

template <typename Fn>
int run_guarded(Fn&& body, std::string* cause) {
    try {
        body();
        return 0;
    } catch (...) {
        detail::print_error_block(detail::trace_of_current_exception());
        if (cause) *cause = detail::cause_of_current_exception();
        return 886;
    }
}

}  // namespace scanflow
