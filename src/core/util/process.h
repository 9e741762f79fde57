// Child processes, run directly (never through a shell) with a time-out and both pipes drained.
#pragma once

#include <string>
#include <vector>

namespace scanflow {

struct ProcessResult {
    bool started = false;    // false when the program could not be started
    bool timed_out = false;  // killed at the time-out
    int exit_code = -1;      // the exit status when it ended by itself
    std::string output;      // standard output, raw bytes
    std::string errors;      // standard error, raw bytes
};

// Runs argv[0] (looked up on the executable search path) with the arguments as given.
ProcessResult run_process(const std::vector<std::string>& argv, double timeout_seconds);

}  // namespace scanflow
