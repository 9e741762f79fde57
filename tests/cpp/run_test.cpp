#include <gtest/gtest.h>

#include <memory>

#include "run/parameter_patterns.h"
#include "run/run_context.h"
#include "run/task_file_json.h"
#include "test_support.h"

namespace scanflow {
namespace {

using testing::ConsoleCapture;
using testing::TempDir;

TEST(RunContext, TheCommandLineWinsOverTheTaskFileWhichFillsTheRest) {
    TempDir dir;
    ConsoleCapture capture;
    dir.write("out/task.json", testing::kTaskJson);
    auto given = [&](const std::string& platform) {
        std::vector<RunParameters::Member> members{{"hip_file", "/p/shot.hip", true},
                                                   {"path_json", dir.file("out"), true},
                                                   {"channel", "null", false},
                                                   {"getaset", "[1,{\"a\":2}]", false}};
        if (!platform.empty()) members.push_back({"platform", platform, true});
        return RunParameters(members);
    };
    RunContext run = open_run(given("61"), "/cwd", Flavour{false});
    EXPECT_EQ(run.platform, "61");
    EXPECT_EQ(run.channel, "1");  // null is no value: the task file's
    EXPECT_EQ(run.user_plugins, (std::vector<std::string>{"redshift", "vray"}));
    EXPECT_EQ(run.task_json_path, dir.file("out") + "/task.json");
    ASSERT_TRUE(run.getaset.has_value());
    EXPECT_EQ(run.getaset->value, "[1,{\"a\":2}]");  // kept as given, for a host script
    EXPECT_EQ(open_run(given(""), "/cwd", Flavour{false}).platform, "2");
    RunParameters relative = given("");
    EXPECT_EQ(relative.text("channel"), "");
    EXPECT_EQ(relative.text("getaset"), "[1,{\"a\":2}]");
    relative.set("hip_file", "shot.hip");
    EXPECT_EQ(relative.members().front().name, "hip_file");  // in its place
    EXPECT_EQ(open_run(relative, "/cwd", Flavour{false}).hip_file, "/cwd/shot.hip");
}

TEST(TaskFile, MembersReadAsTextAndAMissingOneNamesTheFile) {
    TaskFile numbers = task_file_of(Json::parse(R"({"task_info": {"platform": 2, "channel": 4.0},
                        "software_config": {"plugins": ["not", "an object"]}})"),
                                    "/r/task.json");
    EXPECT_EQ(numbers.platform(), "2");
    EXPECT_EQ(numbers.channel(), "4.0");  // as the interpreter prints it
    EXPECT_TRUE(numbers.plugin_names().empty());
    TaskFile partial =
        task_file_of(Json::parse(R"({"task_info": {"platform": "2"}})"), "/r/t.json");
    try {
        (void)partial.channel();
        FAIL() << "a missing channel was read";
    } catch (const FileError& e) {
        EXPECT_STREQ(e.what(), "/r/t.json has no \"channel\"");
    }
    EXPECT_THROW((void)partial.plugin_names(), FileError);
    EXPECT_THROW((void)TaskFile().platform(), FileError);
}

// A parameter read again keeps its place and takes the later pattern, in a copy as well: the
// copy finds its parameters by its own paths once the original is gone.
TEST(ParameterPatterns, AParameterReadAgainKeepsItsPlaceInACopyToo) {
    auto original = std::make_unique<ParameterPatterns>();
    original->record("/obj/a/file", "a1");
    original->record("/obj/b/file", "b1");
    original->record("/obj/a/file", "a2");
    ParameterPatterns copy = *original;
    // The original's memory let go and taken again by other paths.
    original.reset();
    ParameterPatterns other;
    other.record("/obj/x/file", "x");
    other.record("/obj/y/file", "y");
    copy.record("/obj/b/file", "b2");
    copy.record("/obj/c/file", "c1");
    std::vector<std::string> seen;
    for (const auto& [parm, pattern] : copy.entries()) seen.push_back(parm + "=" + pattern);
    EXPECT_EQ(seen,
              (std::vector<std::string>{"/obj/a/file=a2", "/obj/b/file=b2", "/obj/c/file=c1"}));
    // Past the index's first size, and again once cleared.
    ParameterPatterns many;
    for (int round = 0; round < 2; ++round) {
        auto parm = [](int i) { return "/obj/n" + std::to_string(i) + "/file"; };
        for (int i = 0; i < 1000; ++i) many.record(parm(i), "p" + std::to_string(i));
        for (int i = 0; i < 1000; i += 3) many.record(parm(i), "q");
        ASSERT_EQ(many.entries().size(), 1000u);
        EXPECT_EQ(many.entries()[999].pattern, "q");
        EXPECT_EQ(many.entries()[998].pattern, "p998");
        EXPECT_EQ(many.entries()[3].parm, parm(3));
        many.clear();
    }
}

}  // namespace
}  // namespace scanflow
