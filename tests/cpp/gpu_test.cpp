#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <functional>

#include "render/gpu.h"
#include "test_support.h"
#include "util/process.h"

namespace scanflow {
namespace {

using testing::TempDir;

TEST(Process, RunsDirectlyWithATimeOutAndDrainsBothPipes) {
    ProcessResult echo = run_process({"sh", "-c", "echo out; echo err >&2; exit 3"}, 5);
    EXPECT_TRUE(echo.started);
    EXPECT_EQ(echo.exit_code, 3);
    EXPECT_EQ(echo.output, "out\n");
    EXPECT_EQ(echo.errors, "err\n");
    // Arguments are never read by a shell.
    ProcessResult literal = run_process({"echo", "$(touch /tmp/x)", ";", "|"}, 5);
    EXPECT_EQ(literal.output, "$(touch /tmp/x) ; |\n");
    ProcessResult slow = run_process({"sleep", "5"}, 0.2);
    EXPECT_TRUE(slow.timed_out);
    EXPECT_FALSE(run_process({"no-such-program-here"}, 1).started);
    // A large output does not block the child.
    ProcessResult big = run_process({"sh", "-c", "head -c 1000000 /dev/zero"}, 5);
    EXPECT_EQ(big.output.size(), 1000000u);
}

class Gpu : public ::testing::Test {
protected:
    void SetUp() override {
        old_path_ = std::getenv("PATH");
        ::setenv("PATH", dir_.path().c_str(), 1);
    }
    void TearDown() override { ::setenv("PATH", old_path_.c_str(), 1); }
    void command(const std::string& name, const std::string& output, int code) {
        std::string path = dir_.write(
            name, "#!/bin/sh\nprintf '" + output + "'\nexit " + std::to_string(code) + "\n");
        ::chmod(path.c_str(), 0755);
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
