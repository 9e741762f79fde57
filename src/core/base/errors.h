// Failure kinds of a run: ordinary errors (std::exception family) and exit requests.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace scanflow {

// The chain of operations running on this thread, outermost first. A C++ error carries no
// traceback, so the trace printed for a failure is made from this chain.
class TraceFrame {
public:
    explicit TraceFrame(std::string name);
    ~TraceFrame();
    TraceFrame(const TraceFrame&) = delete;
    TraceFrame& operator=(const TraceFrame&) = delete;

    static std::vector<std::string> current();
};

// Work done on another thread for an operation runs with that operation's chain, so that an
// error raised there shows the trace it would have had where the work was asked for.
class TraceChain {
public:
    explicit TraceChain(std::vector<std::string> frames);
    ~TraceChain();
    TraceChain(const TraceChain&) = delete;
    TraceChain& operator=(const TraceChain&) = delete;

private:
    std::vector<std::string> saved_;
};

// Base of the project's own errors. `type_name` is what the printed trace shows as the error's
// type; errors that came from the interpreter keep the Python type name they had there.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message, std::string type_name = "Error")
        : std::runtime_error(message),
          type_name_(std::move(type_name)),
          frames_(TraceFrame::current()) {}
    const std::string& type_name() const noexcept { return type_name_; }
    // The operations that were running where the error was raised.
    const std::vector<std::string>& frames() const noexcept { return frames_; }

private:
    std::string type_name_;
    std::vector<std::string> frames_;
};

// A file that cannot be read, written or parsed as expected; the message names the path.
class FileError : public Error {
public:
    FileError(std::string path, const std::string& message)
        : Error(message, "FileError"), path_(std::move(path)) {}
    const std::string& path() const noexcept { return path_; }

private:
    std::string path_;
};

// A malformed input at a known place in a file.
class ParseError : public Error {
public:
    ParseError(std::string path, long long offset, const std::string& message)
        : Error(path + ":" + std::to_string(offset) + ": " + message, "ParseError"),
          path_(std::move(path)),
          offset_(offset) {}
    const std::string& path() const noexcept { return path_; }
    long long offset() const noexcept { return offset_; }

private:
    std::string path_;
    long long offset_;
};

// A failure of the scene host, with the node and parameter it concerns when known.
class HostError : public Error {
public:
    HostError(const std::string& message, std::string type_name = "HostError",
              std::string node = {}, std::string parm = {})
        : Error(with_place(message, node, parm), std::move(type_name)),
          node_(std::move(node)),
          parm_(std::move(parm)) {}
    const std::string& node() const noexcept { return node_; }
    const std::string& parm() const noexcept { return parm_; }

private:
    static std::string with_place(const std::string& message, const std::string& node,
                                  const std::string& parm) {
        if (!parm.empty()) return message + " (parameter " + parm + ")";
        if (!node.empty()) return message + " (node " + node + ")";
        return message;
    }
    std::string node_;
    std::string parm_;
};

// The host loaded a scene with problems; what it read stays loaded.
class LoadWarning : public HostError {
public:
    explicit LoadWarning(const std::string& message, std::string type_name = "LoadWarning")
        : HostError(message, std::move(type_name)) {}
};

// A command line that the selected run mode cannot use (a missing option value).
class OptionError : public Error {
public:
    explicit OptionError(const std::string& message) : Error(message, "OptionError") {}
};

// A request to end the run with a code. Deliberately not a std::exception: every handler of
// ordinary errors lets it pass, and only the catch-all handlers stop it. It keeps the chain of
// operations that were running when it was raised, for the printed trace.
struct ExitRequest {
    int code;
    std::vector<std::string> frames;
    // What went wrong, in one line for a person ("FileError: cannot open ..."); may be empty.
    std::string cause;
};

// Raises an exit request carrying the current chain of running operations.
[[noreturn]] void request_exit(int code, std::string cause = {});
// "Type: message" of an error, on one line, for the cause of an exit request.
std::string cause_of(const std::exception& error);

// The text of an error as a trace: the running operations, outermost first, then the error's
// type and message, ending with a new line. Our own errors use the chain they recorded where
// they were raised; other errors use `frames`.
std::string format_trace(const std::vector<std::string>& frames, const std::string& type_name,
                         const std::string& message);
std::string format_trace(const std::vector<std::string>& frames, const std::exception& error);
std::string format_trace(const ExitRequest& request);

// The type name that a trace shows for any standard exception.
std::string error_type_name(const std::exception& error);

}  // namespace scanflow
