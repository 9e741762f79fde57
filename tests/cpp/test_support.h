// Helpers shared by the C++ tests: console capture, temporary directories, a scripted host.
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/console.h"
#include "base/errors.h"
#include "drivers/services.h"
#include "host/host.h"
#include "run/module_state.h"
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

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "scanflow-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::string write(const std::string& name, const std::string& text) const {
        std::string p = file(name);
        std::filesystem::create_directories(std::filesystem::path(p).parent_path());
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }

private:
    std::string path_;
};

inline std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

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
    ModuleState state;
    std::shared_ptr<Host> host;
    explicit TestModule(std::shared_ptr<Host> h = std::make_shared<ScriptedHost>())
        : host(std::move(h)) {}
    Services services() { return Services{state, *host, nullptr, {}, {}, {}}; }
};

inline const char* kTaskJson = R"({
    "task_info": {"platform": "2", "channel": "1"},
    "software_config": {"plugins": {"redshift": "3.5", "vray": "6"}, "cg_version": "19.5"},
    "keep": [1, 2]
})";

}  // namespace scanflow::testing
