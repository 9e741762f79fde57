// The timing-and-failure wrapper around the analysis operations.
#pragma once

#include <chrono>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/console.h"
#include "base/errors.h"

namespace scanflow {

namespace detail {
void print_level1_start(const std::string& name);
void print_level1_end(const std::string& name, double seconds);
void print_level1_error(const std::string& name, const std::exception& error);
void print_level2_error(const std::string& name, const std::exception& error);
}  // namespace detail

// Runs `fn` as the wrapped operation `name`. Level 1 frames its output with START/END banners
// and drops the result; every other level is quiet and passes the result on. An ordinary error
// escaping `fn` is printed with its trace and becomes an exit request with code 886; an exit
// request raised inside passes untouched.
template <typename Fn>
auto timed(int level, const std::string& name, Fn&& fn) -> decltype(fn()) {
    using Result = decltype(fn());
    TraceFrame frame(name);
    if (level == 1) {
        auto start = std::chrono::steady_clock::now();
        detail::print_level1_start(name);
        try {
            if constexpr (std::is_void_v<Result>) {
                fn();
            } else {
                (void)fn();
            }
        } catch (const std::exception& e) {
            detail::print_level1_error(name, e);
            request_exit(886, cause_of(e));
        }
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        detail::print_level1_end(name, elapsed.count());
        if constexpr (!std::is_void_v<Result>) return Result{};
    } else {
        try {
            return fn();
        } catch (const std::exception& e) {
            detail::print_level2_error(name, e);
            request_exit(886, cause_of(e));
        }
    }
}

}  // namespace scanflow
