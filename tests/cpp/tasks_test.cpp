#include <gtest/gtest.h>

#include "drivers/rely_task.h"
#include "run/task_file_json.h"
#include "tasks/dependency_tasks_json.h"
#include "test_support.h"

namespace scanflow {
namespace {

TaskFile task_with(const Json& dependency, const std::string& cg_name = "Houdini") {
    return task_file_of(
        Json::object(
            {{"task_info", {{"dependency_task", dependency}}},
             {"software_config",
              {{"cg_name", cg_name}, {"cg_version", "19.5"}, {"plugins", Json::object()}}}}),
        "task.json");
}

TEST(RelyTask, EditValuesAndChoicesMergeByTheirKeys) {
    Json configured =
        Json::parse(R"([{"key": "b", "keyShow": "B", "values": [{"value": 1, "valueShow": "one"},
                                      {"value": 9, "valueShow": "nine"}]},
                                     {"key": "a", "paramType": 1}])");
    Json scene =
        Json::parse(R"([{"key": "b", "values": [{"value": 1}, {"value": 2}]}, {"key": "c"}])");
    Json merged = merge_edit_value(configured, scene);
    EXPECT_EQ(
        merged.dump(),
        R"([{"key":"a","paramType":1},{"key":"b","values":[{"value":1,"valueShow":"one"},{"value":2}],"keyShow":"B"},{"key":"c"}])");
}

TEST(RelyTask, OtherApplicationsKeepOnlyOneSceneTask) {
    testing::ConsoleCapture capture;
    Json dependency = Json::parse(R"({"post_task": [{"id": ""}], "pre_task": []})");
    RelyTask task(task_with(dependency, "Maya"), {"/out/r"}, "2");
    Json result = dependency_tasks_json(task.run());
    ASSERT_EQ(result["post_task"].size(), 1u);
    EXPECT_EQ(result["post_task"][0]["frames_name_list"], Json::array({"video_merge_mov"}));
    EXPECT_EQ(result["post_task"][0]["layers"], Json::array({"/out/r"}));
    // Ids of different kinds cannot be ordered: the whole step fails.
    Json mixed = Json::parse(R"([{"id": 1}, {"id": "x"}])");
    EXPECT_THROW(merge_lists(mixed, mixed, task.cg_version), Error);
    EXPECT_THROW(
        RelyTask(task_file_of(Json::object({{"task_info", Json::object()}}), "t.json"), {}, "2"),
        Error);
}

}  // namespace
}  // namespace scanflow

namespace scanflow {
namespace {

TEST(DependencyTasks, TextParametersStartEmptyAndListsMergeByIdForTheirVersions) {
    Json rely = Json::parse(R"({"pre_task": [{"id": 1, "edit_value": [
        {"paramType": 2, "values": "typed"}, {"paramType": 1, "values": "kept"}]}]})");
    Json cleared = dependency_tasks_json(clear_text_parameters(dependency_tasks_of(rely)));
    EXPECT_EQ(cleared["pre_task"][0]["edit_value"][0]["values"], "");
    EXPECT_EQ(cleared["pre_task"][0]["edit_value"][1]["values"], "kept");

    Json configured = Json::parse(R"([{"id": 3, "cg_version": "19.5,20.0", "label": "merge"},
                                      {"id": 2, "cg_version": "18.5"},
                                      {"id": 1, "label": "any"}])");
    Json scene = Json::parse(R"([{"id": 1, "label": "scene"}, {"id": 2}, {"id": 3}])");
    Json merged = merge_lists(configured, scene, "20.0");
    // By id, those of the scene first; the task for 18.5 only is not for 20.0.
    ASSERT_EQ(merged.size(), 2u) << merged.dump();
    EXPECT_EQ(merged[0], Json::parse(R"({"id": 1, "label": "scene"})"));
    EXPECT_EQ(merged[1]["id"], 3);
    EXPECT_EQ(merged[1]["label"], "merge");
    // Ids in the order of their numbers, not of their texts.
    Json order = merge_lists(Json::parse(R"([{"id": 9}, {"id": 10}])"),
                             Json::parse(R"([{"id": 10}, {"id": 9}])"), "20.0");
    EXPECT_EQ(order, Json::parse(R"([{"id": 9}, {"id": 10}])"));
    EXPECT_TRUE(merge_lists(configured, Json::array(), "20.0").empty());
    EXPECT_TRUE(merge_lists(Json::array(), scene, "20.0").empty());
}

}  // namespace
}  // namespace scanflow
