// Helpers shared by the C++ tests: console capture, temporary directories, a scripted host.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/console.h"
#include "base/errors.h"
#include "base/os.h"
#include "drivers/services.h"
#include "host/host.h"
#include "run/module_state.h"
#include "run/tips.h"
#include "util/fs_cache.h"

namespace scanflow::testing {

// Captures console output for the lifetime of the object and turns pauses off.
class ConsoleCapture {
public:
    ConsoleCapture() {
        console::set_sink(
            {[this](std::string_view t) { text_.append(t); }, [this] { ++flushes_; }});
        old_scale_ = console::pause_scale();
        console::set_pause_scale(0);
    }
    ~ConsoleCapture() {
        console::reset_sink();
        console::set_pause_scale(old_scale_);
    }
    const std::string& text() const { return text_; }
    int flushes() const { return flushes_; }
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        size_t start = 0;
        while (start < text_.size()) {
            size_t end = text_.find('\n', start);
            if (end == std::string::npos) end = text_.size();
            out.push_back(text_.substr(start, end - start));
            start = end + 1;
        }
        return out;
    }

private:
    std::string text_;
    int flushes_ = 0;
    double old_scale_ = 1;
};

// A UTF-8 path as the standard library opens it on every system.
inline std::filesystem::path fs_path(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// A fresh directory, removed with what it holds; its path has "/" separators on every system.
class TempDir {
public:
    TempDir() {
        std::random_device seed;
        std::filesystem::path base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            std::filesystem::path candidate = base / ("scanflow-test-" + std::to_string(seed()));
            if (std::filesystem::create_directory(candidate)) path_ = candidate.generic_string();
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(fs_path(path_), ec);
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::string write(const std::string& name, const std::string& text) const {
        std::string p = file(name);
        std::filesystem::create_directories(fs_path(p).parent_path());
        std::ofstream(fs_path(p), std::ios::binary) << text;
        return p;
    }

private:
    std::string path_;
};

// The tips as one line, for a failing assertion's message.
inline std::string listed(const Tips& tips) {
    std::string out;
    for (const Tips::Entry& e : tips.entries()) {
        out += e.code + ":";
        for (std::string_view m : e.messages) out += " [" + std::string(m) + "]";
        out += e.script_value + "; ";
    }
    return out;
}

inline std::string read_text(const std::string& path) {
    std::ifstream in(fs_path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Paths as found, with "/" separators on Windows, where joins give "\\" (the system's own form)
// and the tests write their expectations with "/".
inline std::vector<std::string> forward_on_windows(std::vector<std::string> paths) {
    if (os::kWindows)
        for (auto& p : paths)
            for (char& c : p)
                if (c == '\\') c = '/';
    return paths;
}

// The process environment, as the tests set it for the code under test.
// `text` compressed as a gzip file holds it.
inline std::string gzip(const std::string& text, int level = Z_DEFAULT_COMPRESSION) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, text.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

inline void set_env(const std::string& name, const std::string& value) {
#ifdef _WIN32
    ::SetEnvironmentVariableA(name.c_str(), value.c_str());
#else
    ::setenv(name.c_str(), value.c_str(), 1);
#endif
}
inline void unset_env(const std::string& name) {
#ifdef _WIN32
    ::SetEnvironmentVariableA(name.c_str(), nullptr);
#else
    ::unsetenv(name.c_str());
#endif
}

// A script a test puts on the search path to stand for an outside command.
inline void make_executable(const std::string& path) {
#ifdef _WIN32
    (void)path;
#else
    ::chmod(path.c_str(), 0755);
#endif
}

// Tests of what only POSIX systems do (shell scripts as commands, permission bits) say so.
#ifdef _WIN32
#define SKIP_ON_WINDOWS(why) GTEST_SKIP() << "POSIX only: " << why
#else
#define SKIP_ON_WINDOWS(why) (void)0
#endif

// A host that records what the analysis asks of it; scenes are whatever the test sets.
class ScriptedHost : public Host {
public:
    std::vector<std::string> calls;
    std::string version = "19.5.605";
    std::string scene_path;
    bool fail_load = false;
    bool warn_load = false;
    bool fail_settings = false;

    std::string kind() const override { return "scripted"; }
    void load_hip(const std::string& path) override {
        calls.push_back("load " + path);
        if (fail_load) throw HostError("Unable to open file: " + path, "hou.OperationFailed");
        if (warn_load) throw LoadWarning("Warnings were generated during load.", "hou.LoadWarning");
        scene_path = path;
    }
    void setSimulationEnabled(bool on) override {
        if (fail_settings) throw HostError("no simulation here");
        calls.push_back(std::string("simulation ") + (on ? "on" : "off"));
    }
    void setUpdateMode(UpdateMode mode) override {
        calls.push_back(mode == UpdateMode::Manual ? "update manual" : "update on mouse up");
    }
    void setFrame(double) override {}
    double frame() override { return 1; }
    std::string hscript(const std::string&) override { return ""; }
    std::optional<std::string> getenv(const std::string&) override { return std::nullopt; }
    std::vector<int> applicationVersion() override { return {19, 5, 605}; }
    std::string applicationVersionString() override { return version; }
    NodePtr node(const std::string&) override { return nullptr; }
    GeometryPtr load_geometry(const std::string& path) override {
        throw HostError("no geometry: " + path);
    }
    bool has_takes() override { return false; }
    std::pair<double, double> global_frame_range() override { return {1, 240}; }
    std::string current_scene_path() override { return scene_path; }
    // What the test makes the host refuse to open, and the node types it cannot see inside.
    std::optional<std::string> refused;
    std::vector<std::string> hiding;
    std::optional<std::string> refusal(const std::string&) override { return refused; }
    bool hides_output_drivers(Node& node) override {
        for (const auto& type : hiding)
            if (node.type_name() == type) return true;
        return false;
    }
};

// Listings made for one call, so that files written since an earlier call are seen.
class FreshListings {
public:
    operator DirCache&() { return cache_; }  // NOLINT: used as a call's argument

private:
    DirCache cache_;
};

// The module state and scene host of one test, and the services an analysis gets from them.
struct TestModule {
    // A machine with the host application installed and nothing else set.
    Environment environment = Environment::of({{"HH", "/opt/hfs"}});
    ModuleState state{environment};
    std::shared_ptr<Host> host;
    explicit TestModule(std::shared_ptr<Host> h = std::make_shared<ScriptedHost>())
        : host(std::move(h)) {}
    Services services() { return Services{state, *host, environment, nullptr, {}, {}, {}}; }
};

inline const char* kTaskJson = R"({
    "task_info": {"platform": "2", "channel": "1"},
    "software_config": {"plugins": {"redshift": "3.5", "vray": "6"}, "cg_version": "19.5"},
    "keep": [1, 2]
})";

}  // namespace scanflow::testing
