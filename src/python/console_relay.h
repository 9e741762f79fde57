// Console text on its way to the interpreter's streams.
//
// Console lines go to sys.stdout so that host scripts can capture them, which takes the
// interpreter lock for every line. While a thread of ours imports the USD library, that thread
// keeps the lock through long stretches of native start-up code; a run that prints meanwhile
// would wait for each line. So while such a thread runs, lines from threads without the lock wait
// in a buffer instead, and are delivered, in order, the next time any code of ours holds the
// lock: before Python code runs again, and at the latest when the import ends.
#pragma once

#include <pybind11/pybind11.h>

namespace scanflow::py_bridge {

// The run's console lines to sys.stdout; messages for a person to sys.stderr.
void point_console_at_sys_stdout();
void point_people_at_sys_stderr();

// Brackets the work of a thread that keeps the interpreter lock for long stretches.
void console_lines_wait();
void console_lines_flow();

// Hands the lines that waited to sys.stdout. Called with the interpreter lock held.
void deliver_waiting_console_lines();

// The interpreter lock let go while the core runs. When it is taken back, the lines that waited
// meanwhile are delivered before control returns to Python. (Members are destroyed in reverse
// order: the lock is taken back first.)
class ReleasedInterpreter {
public:
    ReleasedInterpreter() = default;
    ReleasedInterpreter(const ReleasedInterpreter&) = delete;
    ReleasedInterpreter& operator=(const ReleasedInterpreter&) = delete;

private:
    struct DeliverOnReturn {
        DeliverOnReturn() = default;
        DeliverOnReturn(const DeliverOnReturn&) = delete;
        DeliverOnReturn& operator=(const DeliverOnReturn&) = delete;
        ~DeliverOnReturn() {
            try {
                deliver_waiting_console_lines();
            } catch (...) {
            }
        }
    };
    DeliverOnReturn deliver_;
    pybind11::gil_scoped_release release_;
};

}  // namespace scanflow::py_bridge
