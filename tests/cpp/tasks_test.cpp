#include <gtest/gtest.h>

#include "drivers/rely_task.h"
#include "test_support.h"

namespace scanflow {
namespace {

Json task_with(const Json& dependency, const std::string& cg_name = "Houdini") {
    return Json::object(
        {{"task_info", {{"dependency_task", dependency}}},
         {"software_config",
          {{"cg_name", cg_name}, {"cg_version", "19.5"}, {"plugins", Json::object()}}}});
}

TEST(RelyTask, EditValuesAndChoicesMergeByTheirKeys) {
    testing::ConsoleCapture capture;
    RelyTask task(task_with(Json::object({{"post_task", Json::array()}})), Json::array(), "2");
    Json configured =
        Json::parse(R"([{"key": "b", "keyShow": "B", "values": [{"value": 1, "valueShow": "one"},
                                      {"value": 9, "valueShow": "nine"}]},
                                     {"key": "a", "paramType": 1}])");
    Json scene =
        Json::parse(R"([{"key": "b", "values": [{"value": 1}, {"value": 2}]}, {"key": "c"}])");
    Json merged = task.merge_edit_value(configured, scene);
    EXPECT_EQ(
        merged.dump(),
        R"([{"key":"a","paramType":1},{"key":"b","values":[{"value":1,"valueShow":"one"},{"value":2}],"keyShow":"B"},{"key":"c"}])");
}

TEST(RelyTask, OtherApplicationsKeepOnlyOneSceneTask) {
    testing::ConsoleCapture capture;
    Json dependency = Json::parse(R"({"post_task": [{"id": ""}], "pre_task": []})");
    RelyTask task(task_with(dependency, "Maya"), Json::array({{{"node", "/out/r"}}}), "2");
    Json result = task.run();
    ASSERT_EQ(result["post_task"].size(), 1u);
    EXPECT_EQ(result["post_task"][0]["frames_name_list"], Json::array({"video_merge_mov"}));
    EXPECT_EQ(result["post_task"][0]["layers"], Json::array({"/out/r"}));
    // Ids of different kinds cannot be ordered: the whole step fails.
    Json mixed = Json::parse(R"([{"id": 1}, {"id": "x"}])");
    EXPECT_THROW(task.merge_lists(mixed, mixed), Error);
    EXPECT_THROW(RelyTask(Json::object({{"task_info", Json::object()}}), Json::array(), "2"),
                 Error);
}

}  // namespace
}  // namespace scanflow
