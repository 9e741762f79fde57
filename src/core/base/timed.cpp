#include "base/timed.h"

#include <string>

namespace scanflow {
namespace detail {

void print_level1_start(const std::string& name) {
    console::print(std::string(30, '#') + name + " is START" + std::string(50, '#'));
}

void print_level1_end(const std::string& name, double seconds) {
    console::print(std::string(30, '*') + name + " is END (time:" + console::float_text(seconds) +
                   " s) " + std::string(50, '*'));
    console::print("#\n#\n");
}

void print_level1_error(const std::string& name, const std::exception& error) {
    console::print(error.what());
    console::print(name + " is ERROR!!!");
    console::print(format_trace(TraceFrame::current(), error) + "##--##<< ");
}

void print_level2_error(const std::string& name, const std::exception& error) {
    (void)name;
    console::print(format_trace(TraceFrame::current(), error) + "##--##<< ");
}

}  // namespace detail
}  // namespace scanflow
