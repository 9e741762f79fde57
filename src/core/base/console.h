// Console output of a run: plain lines, progress events for the submission client, pauses.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace scanflow::console {

// Where console text goes. The extension module points it at the interpreter's sys.stdout so
// that host scripts can capture it; the default writes to the process's standard output.
struct Sink {
    std::function<void(std::string_view)> write;
    std::function<void()> flush;
};
void set_sink(Sink sink);
void reset_sink();

void write(std::string_view text);
void flush();
// Prints `text` followed by a line break, as one write.
void print(std::string_view text);

// One progress event: "<cmd><code>200</code><des>TEXT</des></cmd>", flushed before and after,
// then the protocol's pause.
void print_cmd(std::string_view exit_info, double sleep = 0.3, std::string_view exit_code = "200");
// Plain line, or "[debug]..." when `ext` is not "info".
void print_times(std::string_view info, std::string_view ext = "info");

// Sleeps `seconds` scaled by SCANFLOW_PAUSE_SCALE (default 1; 0 turns pauses off).
void pause(double seconds);
double pause_scale();
void set_pause_scale(double scale);

// A floating-point number in the interpreter's default text form (repr of a float).
std::string float_text(double value);

}  // namespace scanflow::console
