// What the command line tells a person, on standard error: messages, a progress line and the
// closing summary. Never part of the protocol that the submission client reads on standard
// output.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

namespace scanflow::people {

struct Sink {
    std::function<void(std::string_view)> write;
    bool terminal = false;  // a person watches: the progress line is shown
};
// The default writes to the process's standard error.
void set_sink(Sink sink);
void reset_sink();

// Quiet: nothing is told at all.
void set_quiet(bool quiet);
bool quiet();

// One line; a progress line being shown is cleared first.
void tell(std::string_view line);
// "<phase>: <done>" on one line that is rewritten in place, at most ten times a second; only on
// a terminal. Safe from any thread.
void progress(std::string_view phase, size_t done);
// The final count of a phase: the line is written with it and kept, whatever the throttle
// dropped before. Only on a terminal.
void progress_done(std::string_view phase, size_t done);
// Clears the progress line, if one is shown.
void end_progress();

}  // namespace scanflow::people
