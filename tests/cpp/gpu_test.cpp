#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "base/os.h"
#include "render/gpu.h"
#include "test_support.h"

namespace scanflow {
namespace {

using testing::TempDir;

TEST(Process, RunsDirectlyWithATimeOutAndDrainsBothPipes) {
    SKIP_ON_WINDOWS("runs sh, echo, sleep and head");
    os::ProcessResult echo = os::run_process({"sh", "-c", "echo out; echo err >&2; exit 3"}, 5);
    EXPECT_TRUE(echo.started);
    EXPECT_EQ(echo.exit_code, 3);
    EXPECT_EQ(echo.output, "out\n");
    EXPECT_EQ(echo.errors, "err\n");
    // Arguments are never read by a shell.
    os::ProcessResult literal = os::run_process({"echo", "$(touch /tmp/x)", ";", "|"}, 5);
    EXPECT_EQ(literal.output, "$(touch /tmp/x) ; |\n");
    os::ProcessResult slow = os::run_process({"sleep", "5"}, 0.2);
    EXPECT_TRUE(slow.timed_out);
    EXPECT_FALSE(os::run_process({"no-such-program-here"}, 1).started);
    // A large output does not block the child.
    os::ProcessResult big = os::run_process({"sh", "-c", "head -c 1000000 /dev/zero"}, 5);
    EXPECT_EQ(big.output.size(), 1000000u);
}

TEST(Process, RunsWindowsCommandsWithoutAShell) {
    if (!os::kWindows) GTEST_SKIP() << "Windows only: cmd.exe";
    os::ProcessResult echo = os::run_process({"cmd", "/c", "echo out& exit 3"}, 10);
    EXPECT_TRUE(echo.started);
    EXPECT_EQ(echo.exit_code, 3);
    EXPECT_EQ(echo.output, "out\r\n");
    EXPECT_FALSE(os::run_process({"no-such-program-here"}, 1).started);
}

class Gpu : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_ON_WINDOWS("the commands are shell scripts");
        old_path_ = os::get_env("PATH").value_or("");
        testing::set_env("PATH", dir_.path().c_str());
    }
    void TearDown() override {
        if (!old_path_.empty()) testing::set_env("PATH", old_path_);
    }
    void command(const std::string& name, const std::string& output, int code) {
        std::string path = dir_.write(
            name, "#!/bin/sh\nprintf '" + output + "'\nexit " + std::to_string(code) + "\n");
        testing::make_executable(path);
    }
    bool has_gpu(const std::string& platform) { return scanflow::has_gpu(platform, probe_); }
    TempDir dir_;
    std::string old_path_;
    std::function<bool()> probe_;
};

TEST_F(Gpu, CommandsDecideInTheirOrder) {
    EXPECT_FALSE(has_gpu("linux"));
    command("nvidia-smi", "NVIDIA-SMI 535.1",
            1);  // a banner with a failing code counts for nothing
    EXPECT_FALSE(has_gpu("linux"));
    command("lspci", "00:02.0 Host bridge\\n01:00.0 3D controller: NVIDIA\\n", 0);
    EXPECT_TRUE(has_gpu("linux"));
    EXPECT_FALSE(has_gpu("darwin"));  // neither lspci nor wmic there
    command("wmic", "Name\\r\\n   \\r\\n\\r\\n", 0);
    EXPECT_FALSE(has_gpu("win32"));
    command("wmic", "Name\\r\\nNVIDIA RTX A5000\\r\\n", 0);
    EXPECT_TRUE(has_gpu("win32"));
    command("nvidia-smi", "| NVIDIA-SMI 535.1 |", 0);
    EXPECT_TRUE(has_gpu("darwin"));
}

TEST_F(Gpu, ModuleProbesComeFirst) {
    probe_ = [] { return true; };
    EXPECT_TRUE(has_gpu("darwin"));
    probe_ = []() -> bool { throw std::runtime_error("tensorflow without devices"); };
    EXPECT_THROW(has_gpu("linux"), std::runtime_error);
}

}  // namespace
}  // namespace scanflow
