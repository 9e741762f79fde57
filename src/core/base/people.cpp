#include "base/people.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "base/os.h"

namespace scanflow::people {
namespace {

struct State {
    std::mutex mutex;
    Sink sink;
    std::atomic<bool> quiet{false};
    std::atomic<bool> shows_progress{false};
    bool line_shown = false;
    std::chrono::steady_clock::time_point last_progress{};
};

Sink default_sink() {
    return Sink{[](std::string_view text) {
                    os::write(os::Stream::Err, text);
                    os::flush(os::Stream::Err);
                },
                os::is_terminal(os::Stream::Err)};
}

State& channel() {
    static State* s = [] {
        auto* fresh = new State;
        fresh->sink = default_sink();
        fresh->shows_progress = fresh->sink.terminal;
        return fresh;
    }();
    return *s;
}

// With the state's lock held.
void clear_line(State& s) {
    if (!s.line_shown) return;
    s.sink.write("\r\x1b[K");
    s.line_shown = false;
}

}  // namespace

void set_sink(Sink sink) {
    State& s = channel();
    std::lock_guard lock(s.mutex);
    s.sink = std::move(sink);
    s.shows_progress = s.sink.terminal && !s.quiet;
    s.line_shown = false;
}

void reset_sink() {
    set_sink(default_sink());
}

void set_quiet(bool quiet) {
    State& s = channel();
    std::lock_guard lock(s.mutex);
    s.quiet = quiet;
    s.shows_progress = s.sink.terminal && !quiet;
}

bool quiet() {
    return channel().quiet;
}

void tell(std::string_view line) {
    State& s = channel();
    if (s.quiet) return;
    std::lock_guard lock(s.mutex);
    clear_line(s);
    std::string text(line);
    text.push_back('\n');
    s.sink.write(text);
}

void progress(std::string_view phase, size_t done) {
    State& s = channel();
    if (!s.shows_progress) return;
    std::unique_lock lock(s.mutex, std::try_to_lock);
    if (!lock.owns_lock()) return;  // another thread is updating the line
    auto now = std::chrono::steady_clock::now();
    if (s.line_shown && now - s.last_progress < std::chrono::milliseconds(100)) return;
    s.last_progress = now;
    std::string text = "\r\x1b[K";
    text.append(phase).append(": ").append(std::to_string(done));
    s.sink.write(text);
    s.line_shown = true;
}

void progress_done(std::string_view phase, size_t done) {
    State& s = channel();
    if (!s.shows_progress) return;
    std::lock_guard lock(s.mutex);
    std::string text = "\r\x1b[K";
    text.append(phase).append(": ").append(std::to_string(done)).push_back('\n');
    s.sink.write(text);
    s.line_shown = false;
}

void end_progress() {
    State& s = channel();
    std::lock_guard lock(s.mutex);
    clear_line(s);
}

}  // namespace scanflow::people
