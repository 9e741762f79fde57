#include "console_relay.h"

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

#include "base/console.h"
#include "base/people.h"
#include "pyutil.h"

namespace scanflow::py_bridge {

namespace py = pybind11;

namespace {

// Lines are taken out of the buffer only with the interpreter lock held, and written before it
// is let go, so they reach sys.stdout in the order they were written. The mutex is never held
// while waiting for the interpreter lock.
struct Waiting {
    std::mutex mutex;
    std::string text;
    int holders = 0;               // threads keeping the interpreter lock
    std::atomic<bool> any{false};  // text is not empty
};

Waiting& waiting() {
    static Waiting* w = new Waiting;  // used by threads that may outlive static destruction
    return *w;
}

std::string take_waiting() {
    Waiting& w = waiting();
    std::lock_guard lock(w.mutex);
    w.any = false;
    return std::move(w.text);
}

// Writes to (or, with no text, flushes) one of the interpreter's streams, "stdout" or "stderr",
// with the interpreter lock held. A stream that refuses must not end the analysis.
void to_sys_stream_locked(const char* stream, std::string_view text, bool flush) {
    try {
        // The stream the interpreter holds now (a host script may have put its own): read at
        // each write, as print() does, without going through the import machinery.
        PyObject* held = PySys_GetObject(stream);
        if (held == nullptr || held == Py_None) return;
        py::object out = py::reinterpret_borrow<py::object>(held);
        if (!text.empty()) out.attr("write")(to_pystr(text));
        if (flush) out.attr("flush")();
    } catch (py::error_already_set&) {
    }
}

void to_sys_stdout(std::string_view text, bool flush) {
    if (!Py_IsInitialized()) return;
    // A thread that holds the lock already writes at once, and its caller's own output follows.
    if (!flush && !PyGILState_Check()) {
        Waiting& w = waiting();
        std::lock_guard lock(w.mutex);
        if (w.holders > 0) {
            w.text.append(text);
            w.any = true;
            return;
        }
    }
    py::gil_scoped_acquire gil;
    std::string earlier = waiting().any ? take_waiting() : std::string();
    if (!earlier.empty()) to_sys_stream_locked("stdout", earlier, false);
    to_sys_stream_locked("stdout", text, flush);
}

}  // namespace

void point_console_at_sys_stdout() {
    console::Sink sink;
    sink.write = [](std::string_view text) { to_sys_stdout(text, false); };
    sink.flush = [] { to_sys_stdout({}, true); };
    console::set_sink(std::move(sink));
}

// The progress line only when sys.stderr is a terminal.
void point_people_at_sys_stderr() {
    bool terminal = false;
    try {
        py::object err = py::module_::import("sys").attr("stderr");
        terminal = !err.is_none() && err.attr("isatty")().cast<bool>();
    } catch (py::error_already_set&) {
    }
    people::Sink sink;
    sink.terminal = terminal;
    sink.write = [](std::string_view text) {
        if (!Py_IsInitialized()) return;
        py::gil_scoped_acquire gil;
        to_sys_stream_locked("stderr", text, true);
    };
    people::set_sink(std::move(sink));
}

void console_lines_wait() {
    Waiting& w = waiting();
    std::lock_guard lock(w.mutex);
    ++w.holders;
}

void console_lines_flow() {
    Waiting& w = waiting();
    std::lock_guard lock(w.mutex);
    if (w.holders > 0) --w.holders;
}

void deliver_waiting_console_lines() {
    if (!waiting().any || !Py_IsInitialized()) return;
    std::string earlier = take_waiting();
    if (!earlier.empty()) to_sys_stream_locked("stdout", earlier, false);
}

}  // namespace scanflow::py_bridge
