#include <gtest/gtest.h>

#include "run/run_context.h"
#include "run/tip_codes.h"
#include "test_support.h"

namespace scanflow {
namespace {

using testing::ConsoleCapture;
using testing::TempDir;

TEST(RunContext, TheCommandLineWinsOverTheTaskFileWhichFillsTheRest) {
    TempDir dir;
    ConsoleCapture capture;
    dir.write("out/task.json", testing::kTaskJson);
    Json params = Json::object({{"hip_file", "/p/shot.hip"},
                                {"path_json", dir.file("out")},
                                {"platform", "61"},
                                {"channel", nullptr}});
    RunContext run = open_run(params, "/cwd", Flavour{false});
    EXPECT_EQ(run.platform, "61");
    EXPECT_EQ(run.channel, "1");  // null is no value: the task file's
    EXPECT_EQ(run.user_plugins, (std::vector<std::string>{"redshift", "vray"}));
    EXPECT_EQ(run.task_json_path, dir.file("out") + "/task.json");
    params.erase("platform");
    EXPECT_EQ(open_run(params, "/cwd", Flavour{false}).platform, "2");
    EXPECT_EQ(param_text(params, "channel"), "");
    params["hip_file"] = "shot.hip";
    EXPECT_EQ(open_run(params, "/cwd", Flavour{false}).hip_file, "/cwd/shot.hip");
}

TEST(TipCodes, EveryCodeHasItsMeaning) {
    EXPECT_EQ(tip::meaning(tip::kMissingFiles), "files the scene needs are missing");
    EXPECT_EQ(tip::meaning(tip::kNoRenderNode),
              "the scene has no render, output or simulation node to run");
    EXPECT_EQ(tip::meaning("49999"), "");
}

}  // namespace
}  // namespace scanflow
