// The operating system on Windows: UTF-8 text converted to UTF-16 at this seam, long paths given
// the prefix that lets the system open them.
#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// windows.h first: the other system headers use its types.
#include <windows.h>

#include <bcrypt.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

#include "base/os.h"
#include "base/text.h"

namespace scanflow::os {

namespace {

std::wstring wide(std::string_view text) {
    if (text.empty()) return {};
    int n =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string narrow(std::wstring_view text) {
    if (text.empty()) return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                  0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

// A path as the system opens it: back slashes, and a long one made absolute and given the
// "\\?\" prefix (or "\\?\UNC\" for a share), which lifts the classic length limit.
std::wstring system_path(std::string_view path) {
    std::wstring w = wide(path);
    for (auto& c : w)
        if (c == L'/') c = L'\\';
    if (w.size() <= 250 || w.rfind(L"\\\\?\\", 0) == 0) return w;
    DWORD n = ::GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (n == 0) return w;
    std::wstring full(n, L'\0');
    n = ::GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
    full.resize(n);
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::string last_error_text(DWORD error = ::GetLastError()) {
    wchar_t* text = nullptr;
    DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = n ? narrow(std::wstring_view(text, n)) : "error " + std::to_string(error);
    if (text) ::LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
        out.pop_back();
    return out;
}

int64_t unix_seconds(const FILETIME& time) {
    ULARGE_INTEGER t;
    t.LowPart = time.dwLowDateTime;
    t.HighPart = time.dwHighDateTime;
    // 100-nanosecond intervals since 1601.
    return static_cast<int64_t>(t.QuadPart / 10000000ULL) - 11644473600LL;
}

Kind kind_of(DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Kind::Dir;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return Kind::Other;
    return Kind::File;
}

// The facts of what a link leads to, through an opened handle.
Facts followed_facts(const std::wstring& path) {
    HANDLE h = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    BY_HANDLE_FILE_INFORMATION info{};
    Facts facts;
    if (::GetFileInformationByHandle(h, &info)) {
        facts.kind = kind_of(info.dwFileAttributes);
        facts.size = (static_cast<int64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        facts.mtime = unix_seconds(info.ftLastWriteTime);
    }
    ::CloseHandle(h);
    return facts;
}

HANDLE handle_of(Stream stream) {
    return ::GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

std::FILE* crt_stream(Stream stream) {
    return stream == Stream::Out ? stdout : stderr;
}

bool is_console(Stream stream) {
    DWORD mode = 0;
    return ::GetConsoleMode(handle_of(stream), &mode) != 0;
}

std::FILE* stream_over(HANDLE h, int flags, const char* mode) {
    int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), flags);
    if (fd < 0) {
        ::CloseHandle(h);
        return nullptr;
    }
    std::FILE* file = ::_fdopen(fd, mode);
    if (file == nullptr) ::_close(fd);
    return file;
}

}  // namespace

std::optional<std::string> get_env(const std::string& name) {
    std::wstring key = wide(name);
    DWORD n = ::GetEnvironmentVariableW(key.c_str(), nullptr, 0);
    if (n == 0) {
        if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        return std::string();
    }
    std::wstring value(n, L'\0');
    n = ::GetEnvironmentVariableW(key.c_str(), value.data(), n);
    value.resize(n);
    return narrow(value);
}

std::string current_directory() {
    DWORD n = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring dir(n, L'\0');
    n = ::GetCurrentDirectoryW(n, dir.data());
    dir.resize(n);
    return narrow(dir);
}

std::string system_name() {
    return "Windows";
}

void lower_this_thread_priority() {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_LOWEST);
}

void return_free_memory() {
    ::HeapCompact(::GetProcessHeap(), 0);
}

void write(Stream stream, std::string_view text) {
    if (!is_console(stream)) {
        std::fwrite(text.data(), 1, text.size(), crt_stream(stream));
        return;
    }
    // A console shows Unicode given as such, whatever its code page.
    std::fflush(crt_stream(stream));
    std::wstring w = wide(text);
    DWORD written = 0;
    ::WriteConsoleW(handle_of(stream), w.data(), static_cast<DWORD>(w.size()), &written, nullptr);
}

void flush(Stream stream) {
    std::fflush(crt_stream(stream));
}

bool is_terminal(Stream stream) {
    return is_console(stream);
}

Facts stat(const std::string& path) {
    std::wstring w = system_path(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(w.c_str(), GetFileExInfoStandard, &data)) return {};
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return followed_facts(w);
    Facts facts;
    facts.kind = kind_of(data.dwFileAttributes);
    facts.size = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    facts.mtime = unix_seconds(data.ftLastWriteTime);
    return facts;
}

bool exists_itself(const std::string& path) {
    return ::GetFileAttributesW(system_path(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::string> real_path(const std::string& path) {
    // The final path of the file or directory itself, opened without access to its contents.
    HANDLE handle = ::CreateFileW(system_path(path.empty() ? "." : path).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    std::wstring buffer(32768, L'\0');
    DWORD n = ::GetFinalPathNameByHandleW(handle, buffer.data(), 32768, FILE_NAME_NORMALIZED);
    ::CloseHandle(handle);
    if (n == 0 || n >= 32768) return std::nullopt;
    std::wstring_view text(buffer.data(), n);
    // \\?\C:\x and \\?\UNC\host\share\x, as C:\x and \\host\share\x.
    if (text.substr(0, 8) == L"\\\\?\\UNC\\") return "\\\\" + narrow(text.substr(8));
    if (text.substr(0, 4) == L"\\\\?\\") return narrow(text.substr(4));
    return narrow(text);
}

ListError list_directory(const std::string& dir, const std::function<void(const DirItem&)>& each) {
    std::string base = dir.empty() ? "." : dir;
    DWORD attributes = ::GetFileAttributesW(system_path(base).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ListError::NotFound
                                                                              : ListError::Other;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ListError::NotDirectory;
    std::string pattern = base;
    if (pattern.back() != '/' && pattern.back() != '\\') pattern.push_back('\\');
    WIN32_FIND_DATAW found{};
    HANDLE h = ::FindFirstFileExW(system_path(pattern + "*").c_str(), FindExInfoBasic, &found,
                                  FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE) {
        return ::GetLastError() == ERROR_FILE_NOT_FOUND ? ListError::None : ListError::Other;
    }
    do {
        std::wstring_view wname = found.cFileName;
        if (wname == L"." || wname == L"..") continue;
        std::string name = narrow(wname);
        DirItem item{name, kind_of(found.dwFileAttributes), false};
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            item.is_link = true;
            item.kind = followed_facts(system_path(pattern + name)).kind;
        }
        each(item);
    } while (::FindNextFileW(h, &found));
    ::FindClose(h);
    return ListError::None;
}

std::FILE* open_regular(const std::string& path, std::string* why) {
    HANDLE h =
        ::CreateFileW(system_path(path).c_str(), GENERIC_READ,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *why = last_error_text();
        return nullptr;
    }
    // Pipes, consoles and devices are of other types; a directory opens only with backup
    // semantics and says what it is in its attributes.
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *why = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "it is a directory"
                                                                  : "it is not a regular file";
        ::CloseHandle(h);
        return nullptr;
    }
    std::FILE* file = stream_over(h, _O_RDONLY | _O_BINARY, "rb");
    if (file == nullptr) *why = "cannot open a stream";
    return file;
}

std::FILE* create_beside(const std::string& target, std::string* temporary, std::string* why) {
    size_t slash = target.find_last_of("/\\");
    std::string dir = slash == std::string::npos ? "." : target.substr(0, slash);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    static std::atomic<unsigned> serial{0};
    std::random_device seed;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate =
            dir + "\\." + name + "." + std::to_string(seed()) + "." + std::to_string(++serial);
        HANDLE h = ::CreateFileW(system_path(candidate).c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (::GetLastError() == ERROR_FILE_EXISTS) continue;
            *why = last_error_text();
            return nullptr;
        }
        std::FILE* file = stream_over(h, _O_WRONLY | _O_BINARY, "wb");
        if (file == nullptr) {
            *why = "cannot open a stream";
            ::DeleteFileW(system_path(candidate).c_str());
            return nullptr;
        }
        *temporary = candidate;
        return file;
    }
    *why = "no free temporary name";
    return nullptr;
}

bool replace_file(const std::string& from, const std::string& to, std::string* why) {
    if (::MoveFileExW(system_path(from).c_str(), system_path(to).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    *why = last_error_text();
    return false;
}

bool remove_file(const std::string& path) {
    return ::DeleteFileW(system_path(path).c_str()) != 0;
}

bool make_directories(const std::string& path, std::string* why) {
    if (path.empty()) {
        *why = "empty path";
        return false;
    }
    std::string p = replace_all(path, "/", "\\");
    // The root cannot be made: a drive ("C:\") or a share ("\\server\share\").
    size_t start = 0;
    if (p.size() >= 2 && p[1] == ':') {
        start = 3;
    } else if (p.rfind("\\\\", 0) == 0) {
        size_t server = p.find('\\', 2);
        size_t share = server == std::string::npos ? server : p.find('\\', server + 1);
        start = share == std::string::npos ? p.size() : share + 1;
    }
    for (size_t at = p.find('\\', start);; at = p.find('\\', at + 1)) {
        std::string part = p.substr(0, at);
        if (part.size() > start && !::CreateDirectoryW(system_path(part).c_str(), nullptr) &&
            ::GetLastError() != ERROR_ALREADY_EXISTS) {
            *why = last_error_text();
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
    return ::localtime_s(out, &t) == 0;
}

// ---- child processes ----

namespace {

// One argument as the C runtime splits a command line: quoted when it holds a blank or a
// quote, back slashes before a quote doubled.
std::wstring quoted_argument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    for (size_t i = 0;; ++i) {
        size_t slashes = 0;
        while (i < arg.size() && arg[i] == L'\\') {
            ++slashes;
            ++i;
        }
        if (i == arg.size()) {
            out.append(slashes * 2, L'\\');
            break;
        }
        if (arg[i] == L'"') {
            out.append(slashes * 2 + 1, L'\\');
        } else {
            out.append(slashes, L'\\');
        }
        out.push_back(arg[i]);
    }
    out.push_back(L'"');
    return out;
}

void drain(HANDLE pipe, std::string* sink) {
    char buffer[65536];
    DWORD n = 0;
    while (::ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) sink->append(buffer, n);
}

}  // namespace

ProcessResult run_process(const std::vector<std::string>& argv, double timeout_seconds) {
    ProcessResult result;
    if (argv.empty()) return result;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out_read, out_write, err_read, err_write;
    if (!::CreatePipe(&out_read, &out_write, &inherit, 0)) return result;
    if (!::CreatePipe(&err_read, &err_write, &inherit, 0)) {
        ::CloseHandle(out_read);
        ::CloseHandle(out_write);
        return result;
    }
    ::SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    std::wstring command;
    for (const auto& arg : argv) {
        if (!command.empty()) command.push_back(L' ');
        command += quoted_argument(wide(arg));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = out_write;
    startup.hStdError = err_write;
    PROCESS_INFORMATION process{};
    BOOL started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                                    CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    ::CloseHandle(out_write);
    ::CloseHandle(err_write);
    if (nul != INVALID_HANDLE_VALUE) ::CloseHandle(nul);
    if (!started) {
        ::CloseHandle(out_read);
        ::CloseHandle(err_read);
        return result;
    }
    result.started = true;
    std::thread out_reader(drain, out_read, &result.output);
    std::thread err_reader(drain, err_read, &result.errors);
    DWORD wait = ::WaitForSingleObject(process.hProcess,
                                       static_cast<DWORD>(std::max(0.0, timeout_seconds) * 1000));
    if (wait == WAIT_TIMEOUT) {
        result.timed_out = true;
        ::TerminateProcess(process.hProcess, 1);
        ::WaitForSingleObject(process.hProcess, INFINITE);
    } else {
        DWORD code = 0;
        if (::GetExitCodeProcess(process.hProcess, &code))
            result.exit_code = static_cast<int>(code);
    }
    out_reader.join();
    err_reader.join();
    ::CloseHandle(out_read);
    ::CloseHandle(err_read);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return result;
}

// ---- texts and digests ----

namespace {

UINT named_code_page(const std::string& name) {
    std::string n = ascii_lower(name);
    for (char& c : n)
        if (c == '_') c = '-';
    if (n == "utf-8" || n == "utf8") return CP_UTF8;
    if (n == "gb18030") return 54936;
    if (n == "gbk" || n == "cp936") return 936;
    if (n == "gb2312") return 20936;
    if (n == "ascii" || n == "us-ascii") return 20127;
    return 0;
}

// The system's code page for a character set, or 0 when it has none. Where GB18030 or GB2312 are
// not installed (Wine has neither), GBK stands in: it reads every two-byte character of both.
UINT code_page(const std::string& name) {
    UINT page = named_code_page(name);
    if ((page == 54936 || page == 20936) && !::IsValidCodePage(page)) return 936;
    return page;
}

bool to_utf16(std::string_view bytes, UINT page, std::wstring* out) {
    if (bytes.empty()) return true;
    int n = ::MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes.data(),
                                  static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) return false;
    out->resize(static_cast<size_t>(n));
    return ::MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes.data(),
                                 static_cast<int>(bytes.size()), out->data(), n) == n;
}

bool from_utf16(const std::wstring& text, UINT page, std::string* out) {
    if (text.empty()) return true;
    // Code pages that encode every character take no substitution flags.
    const bool total = page == CP_UTF8 || page == 54936;
    DWORD flags = page == CP_UTF8 ? WC_ERR_INVALID_CHARS : total ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL substituted = FALSE;
    int n = ::WideCharToMultiByte(page, flags, text.data(), static_cast<int>(text.size()), nullptr,
                                  0, nullptr, total ? nullptr : &substituted);
    if (n <= 0 || substituted) return false;
    out->resize(static_cast<size_t>(n));
    n = ::WideCharToMultiByte(page, flags, text.data(), static_cast<int>(text.size()), out->data(),
                              n, nullptr, total ? nullptr : &substituted);
    return n > 0 && !substituted;
}

}  // namespace

std::optional<std::string> convert_charset(std::string_view bytes, const std::string& from,
                                           const std::string& to) {
    UINT in_page = code_page(from), out_page = code_page(to);
    if (in_page == 0 || out_page == 0) return std::nullopt;
    std::wstring text;
    std::string out;
    if (!to_utf16(bytes, in_page, &text) || !from_utf16(text, out_page, &out)) return std::nullopt;
    return out;
}

struct Md5::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
};

Md5::Md5() : state_(new State) {
    ::BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0);
    if (state_->algorithm)
        ::BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0);
}

Md5::~Md5() {
    if (state_->hash) ::BCryptDestroyHash(state_->hash);
    if (state_->algorithm) ::BCryptCloseAlgorithmProvider(state_->algorithm, 0);
    delete state_;
}

void Md5::update(const char* data, size_t size) {
    while (size > 0 && state_->hash) {
        ULONG n = static_cast<ULONG>(std::min<size_t>(size, 1u << 30));
        ::BCryptHashData(state_->hash, reinterpret_cast<PUCHAR>(const_cast<char*>(data)), n, 0);
        data += n;
        size -= n;
    }
}

std::string Md5::hex_digest() {
    unsigned char digest[16] = {};
    if (state_->hash) ::BCryptFinishHash(state_->hash, digest, sizeof digest, 0);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char byte : digest) {
        out.push_back(hex[byte >> 4]);
        out.push_back(hex[byte & 15]);
    }
    return out;
}

std::vector<std::string> arguments(int argc, char** argv) {
    (void)argc;
    (void)argv;
    // The narrow arguments are in the ANSI code page; the wide command line has every name.
    int count = 0;
    wchar_t** wide_argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) out.push_back(narrow(wide_argv[i]));
    ::LocalFree(wide_argv);
    return out;
}

}  // namespace scanflow::os

#endif
