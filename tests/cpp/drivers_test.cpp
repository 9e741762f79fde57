#include <gtest/gtest.h>

#include "base/text.h"
#include "drivers/dispatch.h"
#include "drivers/scene_driver.h"
#include "fake_scene.h"
#include "render/record_json.h"
#include "test_support.h"

namespace scanflow {
namespace {

using testing::ConsoleCapture;
using testing::ScriptedHost;
using testing::TempDir;
using testing::TestModule;

RunParameters params_for(const TempDir& dir, const std::string& hip) {
    RunParameters p;
    p.set("hip_file", hip);
    p.set("path_json", dir.path() + "/out");
    p.set("platform", "");
    return p;
}

TEST(SequenceKey, FrameAndTileTokensBecomeWildcards) {
    EXPECT_EQ(Related::sequence_key("a.$F.exr"), "a.*[0-9].exr");
    EXPECT_EQ(Related::sequence_key("tex/wall.$F4.exr"), "tex/wall.*[0-9].exr");
    EXPECT_EQ(Related::sequence_key("a.$FF.exr"), "a.*[0-9]F.exr");
    EXPECT_EQ(Related::sequence_key("a_MAPID_.exr"), "a*.exr");
    EXPECT_EQ(Related::sequence_key("A.<UDIM>.EXR"), "A.*[0-9].EXR");
    EXPECT_EQ(Related::sequence_key("t.%(udim)d.<u>_<V>.<uvtile>.$sf"),
              "t.*[0-9].*[0-9]_*[0-9].*[0-9].*[0-9]");
    EXPECT_EQ(Related::sequence_key("c.`padzero(4, $F)`.bgeo`padzero(2,1)`"),
              "c.*[0-9].bgeo*[0-9]");
    EXPECT_EQ(Related::sequence_key("plain/路径.exr"), "plain/路径.exr");
    EXPECT_EQ(Related::sequence_key("low_mapid_.Exr"), "low*.Exr");
    EXPECT_EQ(Related::sequence_key("a_map_id_.tx_MAPI"), "a_map_id_.tx_MAPI");
}

TEST(AddSequenceFile, SamplesFirstLastMiddle) {
    std::vector<std::string> out{"x"};
    Related::add_sequence_file({"f0", "f1", "f2", "f3", "f4"}, out);
    EXPECT_EQ(out, (std::vector<std::string>{"x", "f0", "f4", "f2"}));
    out.clear();
    Related::add_sequence_file({"f0", "f1", "f2", "f3"}, out);
    EXPECT_EQ(out, (std::vector<std::string>{"f0", "f3", "f2"}));
    out.clear();
    Related::add_sequence_file({"f0", "f1", "f2"}, out);
    EXPECT_EQ(out, (std::vector<std::string>{"f0", "f1", "f2"}));
}

TEST(FileExtension, FromTheLastDotOfTheName) {
    EXPECT_EQ(file_extension("/a/b.c/scene.hip"), ".hip");
    EXPECT_EQ(file_extension("/a/b.c/scene"), "");
    EXPECT_EQ(file_extension("shot.v2.usda"), ".usda");
    EXPECT_EQ(file_extension("/a/.hip"), "");
    EXPECT_EQ(file_extension("C:\\x\\s.HIP"), ".HIP");
}

TEST(Related, ConstructionReadsTaskFileAndPrintsBanners) {
    TempDir dir;
    dir.write("out/task.json", testing::kTaskJson);
    ConsoleCapture capture;
    TestModule module;
    RunParameters params = params_for(dir, "/scenes/shot.hip");
    Related r(module.services(), params);
    EXPECT_EQ(r.platform, "2");  // empty in the parameters: taken from the task file
    EXPECT_EQ(r.channel, "1");
    EXPECT_EQ(r.user_plugins, (std::vector<std::string>{"redshift", "vray"}));
    EXPECT_EQ(r.success_file, dir.path() + "/out/analyze_sucess");
    EXPECT_EQ(r.current_os, ascii_lower(os::system_name()));
    EXPECT_FALSE(r.getaset.has_value());
    std::string stars(30, '*');
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{stars + "/scenes/shot.hip" + stars,
                                                         stars + dir.path() + "/out" + stars}));
    params.set("platform", "61");
    params.set("channel", "2");
    Related r2(module.services(), params);
    EXPECT_EQ(r2.platform, "61");
    EXPECT_EQ(r2.channel, "2");
}

TEST(Related, ConstructionFailuresNameTheirCause) {
    TempDir dir;
    ConsoleCapture capture;
    TestModule module;
    RunParameters params = params_for(dir, "/s.hip");
    // The result directory is created even when the task file then turns out to be missing.
    try {
        Related r(module.services(), params);
        FAIL();
    } catch (const FileError& e) {
        EXPECT_EQ(e.path(), dir.path() + "/out/task.json");
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() + "/out"));
    dir.write("out/task.json", "{\"task_info\": ");
    EXPECT_THROW(Related(module.services(), params), FileError);
    dir.write("out/task.json", R"({"task_info": {"platform": "2", "channel": "1"}})");
    EXPECT_THROW(Related(module.services(), params), FileError);  // no software_config
    RunParameters no_hip;
    no_hip.set("path_json", dir.path());
    EXPECT_THROW(Related(module.services(), no_hip), Error);
}

TEST(WriteFile, MergesOnlyItsMembersAndKeepsTheRest) {
    TempDir dir;
    dir.write("out/task.json", testing::kTaskJson);
    ConsoleCapture capture;
    TestModule module;
    Related r(module.services(), params_for(dir, "/s.hip"));
    SceneInfo info;
    info.rop_node.push_back(RenderNodeRecord{});
    info.rop_node[0].node = "/out/r";
    r.Write_File(r.task_json_path, "19.5.605", info, DependencyTasks::empty_lists(), {"a.hda"});
    Json task = read_json_file(r.task_json_path);
    EXPECT_EQ(task["keep"], Json::array({1, 2}));
    EXPECT_EQ(task["software_config"]["cg_version"], "19.5");
    EXPECT_EQ(task["software_config"]["houdini_ver"], "19.5.605");
    EXPECT_EQ(task["software_config"]["python_ver"], module.state.script_ver_py);
    EXPECT_EQ(task["software_config"]["HOUDINI_OTLSCAN_PATH"], Json::array({"a.hda"}));
    EXPECT_EQ(task["scene_info"], scene_info_json(info));
    EXPECT_EQ(task["scene_info"]["rop_node"][0]["node"], "/out/r");
    EXPECT_FALSE(task.contains("scene_info_render"));
    EXPECT_EQ(task["dependency_task"].dump(), R"({"pre_task":[],"post_task":[]})");
    // Four-blank indentation, members in their order.
    std::string text = testing::read_text(r.task_json_path);
    EXPECT_EQ(text.rfind("{\n    \"task_info\": {\n        \"platform\": \"2\",", 0), 0u);

    r.channel = "4";
    r.Write_File(r.task_json_path, "x", info, DependencyTasks());
    EXPECT_EQ(read_json_file(r.task_json_path)["scene_info_render"], scene_info_json(info));
    EXPECT_EQ(read_json_file(r.task_json_path)["dependency_task"], Json::object());
}

TEST(WriteFile, ProblemsArePrintedAndTheFileIsLeftAlone) {
    TempDir dir;
    dir.write("out/task.json", testing::kTaskJson);
    ConsoleCapture capture;
    TestModule module;
    Related r(module.services(), params_for(dir, "/s.hip"));
    std::string broken = dir.write("other/task.json", R"({"no_config": true})");
    r.Write_File(broken, "19.5", SceneInfo(), DependencyTasks());
    EXPECT_EQ(testing::read_text(broken), R"({"no_config": true})");
    EXPECT_NE(capture.text().find("has no \"software_config\""), std::string::npos);
    std::string garbage = dir.write("other2/task.json", "{{{");
    r.Write_File(garbage, "", SceneInfo(), DependencyTasks());
    EXPECT_EQ(testing::read_text(garbage), "{{{");
}

const char* kSaved = "set -g _HIP_SAVEVERSION = '19.5.605'\n";

class SceneFlow : public ::testing::Test {
protected:
    void SetUp() override { dir_.write("out/task.json", testing::kTaskJson); }
    TempDir dir_;
    std::shared_ptr<testing::FakeScene> host_ = std::make_shared<testing::FakeScene>();
    TestModule module_{host_};
};

TEST_F(SceneFlow, LoadsQuietlyAndRunsStepsInOrder) {
    std::string scene = dir_.write("shot.hip", kSaved);
    ConsoleCapture capture;
    AnalysisAssets(module_.services(), params_for(dir_, scene)).doit();
    EXPECT_EQ(host_->calls,
              (std::vector<std::string>{"simulation off", "update manual", "load " + scene}));
    const std::string& out = capture.text();
    std::vector<std::string> order = {
        "start open houdini file",          "set Simulation off",  "set updateMode Manual",
        "Loading hip file success",         "open scence time :",  "open houdini file ok",
        "analysis_assetsChecking is START", "write_json is START", "Analysis scene_info start...",
        "Searching Geometrry Rops...",      "write task.json ...", "write_json is END",
        "[analysis_assets done...]"};
    size_t at = 0;
    for (const auto& piece : order) {
        size_t found = out.find(piece, at);
        ASSERT_NE(found, std::string::npos) << piece << " missing or out of order in\n" << out;
        at = found;
    }
    Json task = read_json_file(dir_.path() + "/out/task.json");
    EXPECT_EQ(task["scene_info"].dump(),
              R"({"geo_node":[],"rop_node":[],"distributedsim_node":[]})");
    EXPECT_EQ(task["software_config"]["houdini_ver"], "19.5.605");
}

TEST_F(SceneFlow, LoadFailureIsReportedAndTheFlowGoesOn) {
    host_->fail_load = true;
    host_->fail_settings = true;
    std::string scene = dir_.write("shot.hip", kSaved);
    ConsoleCapture capture;
    AnalysisHipAssets driver(module_.services(), params_for(dir_, scene));
    driver.doit();
    const std::string& out = capture.text();
    EXPECT_NE(out.find("no simulation here\n"), std::string::npos);
    EXPECT_EQ(out.find("set Simulation off"), std::string::npos);
    EXPECT_NE(out.find("openScene is ERROR!!!"), std::string::npos);
    EXPECT_NE(out.find("hou.OperationFailed: Unable to open file"), std::string::npos);
    EXPECT_LT(out.find("Load hip ignore Errors."), out.find("write_json is START"));
    ASSERT_EQ(driver.tips_adict.entries().size(), 1u) << testing::listed(driver.tips_adict);
    EXPECT_EQ(driver.tips_adict.messages("50010"),
              std::vector<std::string>{"The scene has no render node set, please add render node"});
}

TEST_F(SceneFlow, LoadWarningKeepsTheScene) {
    host_->warn_load = true;
    std::string scene = dir_.write("shot.hip", kSaved);
    ConsoleCapture capture;
    AnalysisHipAssets(module_.services(), params_for(dir_, scene)).openScene(scene);
    EXPECT_NE(capture.text().find("Warnings were generated during load.\nopen scence time :"),
              std::string::npos);
    EXPECT_EQ(capture.text().find("Loading hip file success"), std::string::npos);
}

TEST_F(SceneFlow, DispatchIgnoresMissingFilesAndOtherExtensions) {
    ConsoleCapture capture;
    std::string upper = dir_.write("SHOT.HIP", "");
    AnalysisAssets(module_.services(), params_for(dir_, upper)).doit();
    AnalysisAssets(module_.services(), params_for(dir_, dir_.path() + "/absent.hip")).doit();
    AnalysisAssets(module_.services(), params_for(dir_, dir_.path())).doit();  // a directory
    EXPECT_TRUE(host_->calls.empty());
    EXPECT_EQ(capture.text().find("open houdini file"), std::string::npos);
}

TEST_F(SceneFlow, ASceneTheHostRefusesIsNotAnalysed) {
    host_->refused = "a limited-commercial scene";
    std::string scene = dir_.write("shot.hiplc", kSaved);
    ConsoleCapture capture;
    AnalysisAssets(module_.services(), params_for(dir_, scene)).doit();
    EXPECT_TRUE(host_->calls.empty());
    EXPECT_EQ(capture.text().find("open houdini file"), std::string::npos);
}

TEST_F(SceneFlow, OutputDriversTheHostCannotShowUsRaiseNoNoRenderNodeTip) {
    host_->add("/obj", "obj");
    host_->add("/obj/geo1/cache", "studio::cache_writer");  // an asset the host cooks
    host_->hiding = {"studio::cache_writer"};
    std::string scene = dir_.write("shot.hip", kSaved);
    ConsoleCapture capture;
    AnalysisHipAssets driver(module_.services(), params_for(dir_, scene));
    try {
        driver.doit();
    } catch (const ExitRequest&) {
        FAIL() << capture.text();
    }
    EXPECT_FALSE(driver.tips_adict.contains("50010")) << testing::listed(driver.tips_adict);
    host_->hiding.clear();
    AnalysisHipAssets again(module_.services(), params_for(dir_, scene));
    again.doit();
    EXPECT_TRUE(again.tips_adict.contains("50010"));
}

TEST_F(SceneFlow, MissingSceneInsideTheDriverEndsWith886) {
    ConsoleCapture capture;
    AnalysisHipAssets driver(module_.services(), params_for(dir_, dir_.path() + "/gone.hip"));
    try {
        driver.doit();
        FAIL();
    } catch (const ExitRequest& request) {
        EXPECT_EQ(request.code, 886);
    }
    EXPECT_NE(capture.text().find("Error: cg file is not exists ! \n##--##<< "), std::string::npos);
}

}  // namespace
}  // namespace scanflow
