#include "base/errors.h"

#include "base/thread_slot.h"

#if __has_include(<cxxabi.h>)
#include <cxxabi.h>
#define SCANFLOW_DEMANGLES 1
#endif

#include <cstdlib>
#include <memory>
#include <typeinfo>

namespace scanflow {
namespace {
// The chain of the calling thread.
struct RunningTag {};
std::vector<std::string>& running() {
    return thread_slot<std::vector<std::string>, RunningTag>();
}
}  // namespace

TraceFrame::TraceFrame(std::string name) {
    running().push_back(std::move(name));
}
TraceFrame::~TraceFrame() {
    running().pop_back();
}
std::vector<std::string> TraceFrame::current() {
    return running();
}

TraceChain::TraceChain(std::vector<std::string> frames) : saved_(std::move(running())) {
    running() = std::move(frames);
}
TraceChain::~TraceChain() {
    running() = std::move(saved_);
}

void request_exit(int code, std::string cause) {
    throw ExitRequest{code, TraceFrame::current(), std::move(cause)};
}

std::string cause_of(const std::exception& error) {
    std::string text = error_type_name(error);
    std::string message = error.what();
    if (!message.empty()) text += ": " + message;
    // One line: a multi-line message keeps its lines, joined.
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

std::string error_type_name(const std::exception& error) {
    if (auto* own = dynamic_cast<const Error*>(&error)) return own->type_name();
    const char* mangled = typeid(error).name();
#ifdef SCANFLOW_DEMANGLES
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(mangled);
#else
    return mangled;  // MSVC's names are readable as they are
#endif
}

std::string format_trace(const std::vector<std::string>& frames, const std::string& type_name,
                         const std::string& message) {
    std::string text = "Traceback (most recent call last):\n";
    for (const auto& frame : frames) text += "  in " + frame + "\n";
    text += type_name;
    if (!message.empty()) text += ": " + message;
    text += "\n";
    return text;
}

std::string format_trace(const std::vector<std::string>& frames, const std::exception& error) {
    if (auto* own = dynamic_cast<const Error*>(&error))
        return format_trace(own->frames(), own->type_name(), own->what());
    return format_trace(frames, error_type_name(error), error.what());
}

std::string format_trace(const ExitRequest& request) {
    return format_trace(request.frames, "SystemExit", std::to_string(request.code));
}

}  // namespace scanflow
