// The operating system on Linux and macOS.
#ifndef _WIN32

#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <openssl/evp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif
#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "base/os.h"
#include "base/text.h"

extern char** environ;

namespace scanflow::os {

namespace {

Kind kind_of(mode_t mode) {
    if (S_ISREG(mode)) return Kind::File;
    if (S_ISDIR(mode)) return Kind::Dir;
    return Kind::Other;
}

std::string error_text(int error) {
    return std::strerror(error);
}

std::FILE* stream_of(Stream stream) {
    return stream == Stream::Out ? stdout : stderr;
}

}  // namespace

std::vector<std::string> arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

std::optional<std::string> get_env(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

std::string current_directory() {
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return ".";
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

std::string system_name() {
    struct utsname info{};
    if (::uname(&info) != 0) return "";
    return info.sysname;
}

void lower_this_thread_priority() {
#ifdef __linux__
    // On Linux a thread has a priority of its own; elsewhere it keeps the process's.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 19);
#endif
}

void return_free_memory() {
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

void write(Stream stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream_of(stream));
}

void flush(Stream stream) {
    std::fflush(stream_of(stream));
}

bool is_terminal(Stream stream) {
    return ::isatty(stream == Stream::Out ? 1 : 2) == 1;
}

Facts stat(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return {};
    return Facts{kind_of(st.st_mode), static_cast<int64_t>(st.st_size),
                 static_cast<int64_t>(st.st_mtime)};
}

bool exists_itself(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0;
}

std::optional<std::string> real_path(const std::string& path) {
    char* resolved = ::realpath(path.empty() ? "." : path.c_str(), nullptr);
    if (!resolved) return std::nullopt;
    std::string out = resolved;
    std::free(resolved);
    return out;
}

ListError list_directory(const std::string& dir, const std::function<void(const DirItem&)>& each) {
    DIR* handle = ::opendir(dir.empty() ? "." : dir.c_str());
    if (handle == nullptr) {
        if (errno == ENOENT) return ListError::NotFound;
        if (errno == ENOTDIR) return ListError::NotDirectory;
        return ListError::Other;
    }
    int fd = ::dirfd(handle);
    while (struct dirent* ent = ::readdir(handle)) {
        std::string_view name = ent->d_name;
        if (name == "." || name == "..") continue;
        DirItem item{name, Kind::Other, false};
        switch (ent->d_type) {
            case DT_REG:
                item.kind = Kind::File;
                break;
            case DT_DIR:
                item.kind = Kind::Dir;
                break;
            case DT_LNK:
            case DT_UNKNOWN: {
                struct stat st{};
                struct stat lst{};
                if (::fstatat(fd, ent->d_name, &lst, AT_SYMLINK_NOFOLLOW) == 0)
                    item.is_link = S_ISLNK(lst.st_mode);
                item.kind =
                    ::fstatat(fd, ent->d_name, &st, 0) == 0 ? kind_of(st.st_mode) : Kind::Missing;
                break;
            }
            default:
                break;
        }
        each(item);
    }
    ::closedir(handle);
    return ListError::None;
}

std::FILE* open_regular(const std::string& path, std::string* why) {
    // Without O_NONBLOCK, opening a FIFO would wait for a writer before the test could be made.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *why = error_text(errno);
        return nullptr;
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *why = S_ISDIR(st.st_mode) ? "it is a directory" : "it is not a regular file";
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) {
        *why = error_text(errno);
        ::close(fd);
    }
    return file;
}

std::FILE* create_beside(const std::string& target, std::string* temporary, std::string* why) {
    size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? "." : target.substr(0, slash == 0 ? 1 : slash);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string pattern = (dir == "/" ? "" : dir) + "/." + name + ".XXXXXX";
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        *why = error_text(errno);
        return nullptr;
    }
    ::fchmod(fd, 0644);
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        *why = error_text(errno);
        ::close(fd);
        ::unlink(pattern.c_str());
        return nullptr;
    }
    *temporary = pattern;
    return file;
}

bool replace_file(const std::string& from, const std::string& to, std::string* why) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    *why = error_text(errno);
    return false;
}

bool remove_file(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool make_directories(const std::string& path, std::string* why) {
    if (path.empty()) {
        *why = "empty path";
        return false;
    }
    for (size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
        std::string part = path.substr(0, at);
        if (!part.empty() && ::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            *why = error_text(errno);
            return false;
        }
        if (at == std::string::npos) break;
    }
    if (stat(path).kind == Kind::Dir) return true;
    *why = "it exists and is not a directory";
    return false;
}

bool local_time(int64_t seconds, std::tm* out) {
    time_t t = static_cast<time_t>(seconds);
    return ::localtime_r(&t, out) != nullptr;
}

// ---- child processes ----

namespace {

struct Pipe {
    int fds[2] = {-1, -1};
    bool open() {
        if (::pipe(fds) != 0) return false;
        for (int fd : fds) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        return true;
    }
    void close_end(int i) {
        if (fds[i] >= 0) ::close(fds[i]);
        fds[i] = -1;
    }
    ~Pipe() {
        close_end(0);
        close_end(1);
    }
};

}  // namespace

ProcessResult run_process(const std::vector<std::string>& argv, double timeout_seconds) {
    ProcessResult result;
    if (argv.empty()) return result;
    Pipe out, err;
    if (!out.open() || !err.open()) return result;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out.fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.fds[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    out.close_end(1);
    err.close_end(1);
    if (rc != 0) return result;
    result.started = true;

    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_seconds);
    pollfd fds[2] = {{out.fds[0], POLLIN, 0}, {err.fds[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.output, &result.errors};
    int open_pipes = 2;
    char buffer[65536];
    while (open_pipes > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) {
            result.timed_out = true;
            break;
        }
        int ready = ::poll(fds, 2, static_cast<int>(left));
        if (ready < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open_pipes;
            }
        }
    }
    if (result.timed_out) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!result.timed_out && WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    return result;
}

// ---- texts and digests ----

namespace {

std::string iconv_name(const std::string& name) {
    std::string upper = ascii_upper(name);
    for (char& c : upper)
        if (c == '_') c = '-';
    if (upper == "UTF8") return "UTF-8";
    return upper;
}

// iconv descriptors are costly to open and not shareable between threads: one per thread and
// conversion.
iconv_t descriptor(const std::string& from, const std::string& to) {
    thread_local std::map<std::pair<std::string, std::string>, iconv_t> cache;
    auto key = std::make_pair(from, to);
    auto it = cache.find(key);
    if (it != cache.end()) {
        iconv(it->second, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        return it->second;
    }
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    cache.emplace(key, cd);
    return cd;
}

}  // namespace

std::optional<std::string> convert_charset(std::string_view bytes, const std::string& from,
                                           const std::string& to) {
    iconv_t cd = descriptor(iconv_name(from), iconv_name(to));
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out;
    out.resize(bytes.size() * 4 + 16);
    char* in_ptr = const_cast<char*>(bytes.data());
    size_t in_left = bytes.size();
    char* out_ptr = out.data();
    size_t out_left = out.size();
    while (in_left > 0) {
        size_t rc = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
        if (rc == static_cast<size_t>(-1)) {
            if (errno == E2BIG) {
                size_t used = static_cast<size_t>(out_ptr - out.data());
                out.resize(out.size() * 2);
                out_ptr = out.data() + used;
                out_left = out.size() - used;
                continue;
            }
            return std::nullopt;  // EILSEQ or EINVAL: not valid in this encoding
        }
        // glibc counts irreversible conversions; a strict conversion has none.
        if (rc > 0) return std::nullopt;
    }
    if (iconv(cd, nullptr, nullptr, &out_ptr, &out_left) == static_cast<size_t>(-1))
        return std::nullopt;
    out.resize(static_cast<size_t>(out_ptr - out.data()));
    return out;
}

struct Md5::State {
    EVP_MD_CTX* ctx;
};

Md5::Md5() : state_(new State{EVP_MD_CTX_new()}) {
    EVP_DigestInit_ex(state_->ctx, EVP_md5(), nullptr);
}

Md5::~Md5() {
    EVP_MD_CTX_free(state_->ctx);
    delete state_;
}

void Md5::update(const char* data, size_t size) {
    EVP_DigestUpdate(state_->ctx, data, size);
}

std::string Md5::hex_digest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(state_->ctx, digest, &length);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out.push_back(hex[digest[i] >> 4]);
        out.push_back(hex[digest[i] & 15]);
    }
    return out;
}

}  // namespace scanflow::os

#endif
