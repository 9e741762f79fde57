// What the core asks of the operating system, in one place: every other file reaches the system
// through these functions, and each platform has its own implementation (os_posix.cpp,
// os_win32.cpp) chosen when compiling. Paths and texts are UTF-8 with either separator; the
// Windows implementation converts them to UTF-16 here and gives a long path the prefix that
// lets the system open it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scanflow::os {

#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

// ---- the process ----

// The program's arguments as UTF-8 (on Windows from the wide command line, which keeps every
// name whatever the code page).
std::vector<std::string> arguments(int argc, char** argv);
// An environment variable; names are case-insensitive on Windows, as the system has them.
std::optional<std::string> get_env(const std::string& name);
// The process's working directory, with the platform's own separators.
std::string current_directory();
// The operating system's name as the interpreter's platform module reports it ("Linux",
// "Windows", "Darwin").
std::string system_name();
// Work that may wait gives way to the analysis: the calling thread runs at the lowest priority
// where the system has per-thread priorities.
void lower_this_thread_priority();
// Gives the pages of memory freed since back to the system, where the C library would keep
// them for later allocations: after a step whose many passing allocations left holes that no
// later step fills.
void return_free_memory();

enum class Stream { Out, Err };
// Whole UTF-8 text to standard output or error; on a Windows console it is shown as Unicode.
void write(Stream stream, std::string_view text);
void flush(Stream stream);
bool is_terminal(Stream stream);

// ---- files ----

enum class Kind : uint8_t { File, Dir, Other, Missing };

// One stat: what a path names once links are followed, its size and modification time.
struct Facts {
    Kind kind = Kind::Missing;
    int64_t size = 0;
    int64_t mtime = 0;  // seconds since the epoch
};
Facts stat(const std::string& path);
inline bool is_file(const std::string& path) {
    return stat(path).kind == Kind::File;
}
inline bool is_dir(const std::string& path) {
    return stat(path).kind == Kind::Dir;
}
inline bool exists(const std::string& path) {
    return stat(path).kind != Kind::Missing;
}
// Whether the path itself exists (a link that leads nowhere does).
bool exists_itself(const std::string& path);
// The path with every link followed and every "." and ".." resolved, absolute; nothing when it
// does not exist.
std::optional<std::string> real_path(const std::string& path);

struct DirItem {
    std::string_view name;
    Kind kind;  // after following a link; Missing for a link that leads nowhere
    bool is_link;
};
enum class ListError { None, NotFound, NotDirectory, Other };
// Calls `each` for every entry of `dir` but "." and "..", in the order the system gives them.
ListError list_directory(const std::string& dir, const std::function<void(const DirItem&)>& each);

// Opens a file for reading bytes, only when it is a regular file: a FIFO, a device or a
// directory is never opened for reading, and the test is made on the opened file, not by name
// first. Null with `why` set otherwise.
std::FILE* open_regular(const std::string& path, std::string* why);
// The bytes of a regular file; nothing with `why` set when it cannot be read.
std::optional<std::string> read_file(const std::string& path, std::string* why);

// A new file beside `target` for writing bytes, to be renamed over it; null with `why` set.
std::FILE* create_beside(const std::string& target, std::string* temporary, std::string* why);
// Renames `from` over `to`, replacing it.
bool replace_file(const std::string& from, const std::string& to, std::string* why);
bool remove_file(const std::string& path);
// Creates a directory and its missing parents.
bool make_directories(const std::string& path, std::string* why);

// The local calendar time of seconds since the epoch.
bool local_time(int64_t seconds, std::tm* out);

// ---- child processes ----

struct ProcessResult {
    bool started = false;    // false when the program could not be started
    bool timed_out = false;  // killed at the time-out
    int exit_code = -1;      // the exit status when it ended by itself
    std::string output;      // standard output, raw bytes
    std::string errors;      // standard error, raw bytes
};
// Runs argv[0] (looked up on the executable search path) with the arguments as given, never
// through a shell, with both pipes drained and a time-out.
ProcessResult run_process(const std::vector<std::string>& argv, double timeout_seconds);

// ---- texts and digests ----

// Bytes in one character set converted to another ("utf-8", "gb18030", "gbk", "gb2312",
// "ascii"), strictly: nothing when a byte or a character has no form in the other set, or when
// the system does not know the set.
std::optional<std::string> convert_charset(std::string_view bytes, const std::string& from,
                                           const std::string& to);

// MD5 of a stream of bytes, as 32 lower-case hex digits.
class Md5 {
public:
    Md5();
    ~Md5();
    Md5(const Md5&) = delete;
    Md5& operator=(const Md5&) = delete;
    void update(const char* data, size_t size);
    std::string hex_digest();

private:
    struct State;
    State* state_;
};

}  // namespace scanflow::os
