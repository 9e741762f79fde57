#include "base/console.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "base/numbers.h"
#include "base/os.h"
#include "base/people.h"

namespace scanflow::console {
namespace {

Sink default_sink() {
    return Sink{[](std::string_view text) { os::write(os::Stream::Out, text); },
                [] { os::flush(os::Stream::Out); }};
}

std::mutex& sink_mutex() {
    static std::mutex m;
    return m;
}

Sink& sink() {
    static Sink s = default_sink();
    return s;
}

double initial_pause_scale() {
    std::string text = os::get_env("SCANFLOW_PAUSE_SCALE").value_or("");
    if (text.empty()) return 1.0;
    auto value = float_of_text(text);
    if (value && std::isfinite(*value) && *value >= 0) return *value;
    people::tell("scanflow: SCANFLOW_PAUSE_SCALE=" + text +
                 " is not a number from 0 up; the protocol's pauses keep their length");
    return 1.0;
}

double& scale_ref() {
    static double scale = initial_pause_scale();
    return scale;
}

}  // namespace

void set_sink(Sink s) {
    std::lock_guard lock(sink_mutex());
    sink() = std::move(s);
}

void reset_sink() {
    set_sink(default_sink());
}

void write(std::string_view text) {
    std::lock_guard lock(sink_mutex());
    sink().write(text);
}

void flush() {
    std::lock_guard lock(sink_mutex());
    sink().flush();
}

// A short line goes to the sink in one write with its end: each write may cross into the
// interpreter. A long one (the whole scene's list, say) is written as it stands, then its end.
void print(std::string_view text) {
    constexpr size_t kShortLine = 4096;
    std::lock_guard lock(sink_mutex());
    if (text.size() < kShortLine) {
        std::string line;
        line.reserve(text.size() + 1);
        line.append(text).push_back('\n');
        sink().write(line);
        return;
    }
    sink().write(text);
    sink().write("\n");
}

void print_cmd(std::string_view exit_info, double sleep, std::string_view exit_code) {
    flush();
    std::string line = "<cmd><code>";
    line.append(exit_code).append("</code><des>").append(exit_info).append("</des></cmd>");
    print(line);
    flush();
    pause(sleep);
}

void print_times(std::string_view info, std::string_view ext) {
    if (ext == "info") {
        print(info);
    } else {
        print("[debug]" + std::string(info));
    }
}

double pause_scale() {
    return scale_ref();
}
void set_pause_scale(double scale) {
    scale_ref() = scale;
}

void pause(double seconds) {
    double scaled = seconds * pause_scale();
    if (scaled > 0) std::this_thread::sleep_for(std::chrono::duration<double>(scaled));
}

std::string float_text(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    // Shortest round-trip digits, then laid out as the interpreter does: positional notation for
    // exponents from -4 to 15, scientific otherwise, always with a fraction or an exponent.
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    std::string sci(buf, res.ptr);
    bool negative = sci[0] == '-';
    if (negative) sci.erase(0, 1);
    auto epos = sci.find('e');
    std::string mantissa = sci.substr(0, epos);
    int exponent = std::stoi(sci.substr(epos + 1));
    std::string digits;
    for (char c : mantissa)
        if (c != '.') digits.push_back(c);
    std::string out;
    if (negative) out.push_back('-');
    if (exponent >= -4 && exponent < 16) {
        int point = exponent + 1;  // digits before the decimal point
        if (point <= 0) {
            out.append("0.");
            out.append(static_cast<size_t>(-point), '0');
            out.append(digits);
        } else if (static_cast<size_t>(point) >= digits.size()) {
            out.append(digits);
            out.append(static_cast<size_t>(point) - digits.size(), '0');
            out.append(".0");
        } else {
            out.append(digits, 0, static_cast<size_t>(point));
            out.push_back('.');
            out.append(digits, static_cast<size_t>(point), std::string::npos);
        }
    } else {
        out.push_back(digits[0]);
        if (digits.size() > 1) {
            out.push_back('.');
            out.append(digits, 1, std::string::npos);
        }
        char exp[16];
        std::snprintf(exp, sizeof exp, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        out.append(exp);
    }
    return out;
}

}  // namespace scanflow::console
