#include <gtest/gtest.h>

#include "base/os.h"
#include "output/asset_record.h"
#include "output/parameter_files.h"
#include "output/result_files.h"
#include "output/task_file.h"
#include "run/tip_codes.h"
#include "test_support.h"

namespace scanflow {
namespace {

using testing::ConsoleCapture;
using testing::TempDir;

TEST(ParameterFiles, AFileIsItselfASequenceItsMembersAndNothingIsMissing) {
    TempDir dir;
    std::string plate = dir.write("plate.1001.exr", "1");
    dir.write("plate.1002.exr", "2");
    // A name with a character of the wildcard syntax is still the one file it names.
    std::string take = dir.write("take[2].exr", "t");
    std::string cache = dir.write("c.0001.bgeo", "{}");
    dir.write("c.0002.bgeo", "{}");
    ParameterPatterns all_node;
    all_node.record("/obj/a/file", plate);  // one frame named as such: itself alone
    all_node.record("/obj/a/seq", dir.file("plate.*[0-9].exr"));
    all_node.record("/obj/a/gone", "\"" + dir.file("gone.exr") + "\"");
    all_node.record("/obj/a/cache", dir.file("c.*[0-9].bgeo"));
    all_node.record("/obj/a/take", dir.file("take.exr"));
    all_node.record("/obj/a/take", take);  // read again: its place kept, the later pattern
    DirCache listings;
    ParameterFiles found = collect_parameter_files(all_node, listings, native_flavour(), 2);
    ASSERT_EQ(found.convert_node.size(), 5u);
    EXPECT_EQ(found.convert_node[4].files.strings(), std::vector<std::string>{take});
    EXPECT_EQ(found.convert_node[0].files.strings(), std::vector<std::string>{plate});
    EXPECT_EQ(found.convert_node[1].files.strings(),
              (std::vector<std::string>{plate, dir.file("plate.1002.exr")}));
    EXPECT_TRUE(found.convert_node[2].files.empty());
    ASSERT_EQ(found.missing_file.parameters.size(), 1u);
    EXPECT_EQ(found.missing_file.parameters[0].parm, "/obj/a/gone");
    EXPECT_EQ(found.missing_file.parameters[0].path, dir.file("gone.exr"));
    EXPECT_TRUE(found.missing_file.nested.empty());
    EXPECT_FALSE(found.nested.empty());  // the cache sequence is opened, a member at least
    EXPECT_NE(found.nested[0].find("c.000"), std::string::npos);
}

TEST(AssetRecord, TheWritersOwnTipsAndTheSaveVersion) {
    MissingRecord missing{{{"/obj/a/tex", "/p/a.exr"}, {"/obj/b/tex", "/p/\"b\".exr"}},
                          {"/n/a.ass", "/n/it's.ass"}};
    Tips tips = file_tips(missing, {"/obj/broken"});
    EXPECT_EQ(tips.messages(tip::kMissingFiles),
              (std::vector<std::string>{"/obj/a/tex--->/p/a.exr", "/obj/b/tex--->/p/\"b\".exr",
                                        "Nested_Assets--->['/n/a.ass', \"/n/it's.ass\"]"}));
    EXPECT_EQ(tips.messages(tip::kProblemNodes), std::vector<std::string>{"/obj/broken"});
    EXPECT_TRUE(file_tips(MissingRecord{}, {}).empty());
    // The record is written as the object it stands for, the nested files' list last.
    auto written = [](const std::function<void(JsonWriter&)>& write) {
        StringSink sink;
        JsonWriter out(sink, Unencodable::Fail);
        write(out);
        out.flush();
        return sink.text();
    };
    Json as_object = Json::object({{"/obj/a/tex", "/p/a.exr"},
                                   {"/obj/b/tex", "/p/\"b\".exr"},
                                   {"Nested_Assets", {"/n/a.ass", "/n/it's.ass"}}});
    EXPECT_EQ(written([&](JsonWriter& out) { write_missing_record(out, missing); }),
              written([&](JsonWriter& out) { out.value(as_object); }));
    EXPECT_EQ(written([](JsonWriter& out) { write_missing_record(out, MissingRecord{}); }),
              written([](JsonWriter& out) { out.value(Json::object()); }));

    TempDir dir;
    EXPECT_NO_THROW(
        require_save_version(dir.write("ok.hip", "set -g _HIP_SAVEVERSION = '19.5.303'\n")));
    EXPECT_THROW(require_save_version(dir.write("bad.hip", "set -g _HIP_SAVEVERSION = 'x.5'\n")),
                 Error);
    EXPECT_THROW(require_save_version(dir.write("none.hip", "nothing\n")), FileError);
}

TEST(ResultFiles, AssetTextHasItsSectionsInWindowsLines) {
    TempDir dir;
    ConsoleCapture capture;
    std::string path = dir.file("asset.txt");
    // Each missing path once, sorted, whichever parameters name it; a value of another kind as
    // its text.
    write_asset_txt(path,
                    Json::object({{"/obj/a", "/p/b.exr"},
                                  {"/obj/n", 7},
                                  {"/obj/d", "/p/b.exr"},
                                  {"Nested_Assets", {"/p/b.exr", "/p/a.exr"}}}),
                    {"/p/c.exr  (mtime 0) size 0"}, "/p/shot.hip");
    EXPECT_EQ(testing::read_text(path),
              "[scene_file]\r\n/p/shot.hip\r\n[missing_file]\r\n/p/a.exr\r\n/p/b.exr\r\n7\r\n"
              "[asset]\r\n/p/c.exr  (mtime 0) size 0\r\n");
}

TEST(ResultFiles, NoNameAddsALineOrASectionToAssetText) {
    TempDir dir;
    ConsoleCapture capture;
    std::string path = dir.file("asset.txt");
    write_asset_txt(path, Json::object({{"/obj/a", "/p/x\r\n[asset]\r\n/etc/passwd"}}),
                    {std::string("/p/n\0ul\xff.exr", 12) + "  (mtime 0) size 0"}, "/p/\u4e2d.hip");
    EXPECT_EQ(testing::read_text(path),
              "[scene_file]\r\n/p/\u4e2d.hip\r\n[missing_file]\r\n"
              "/p/x\\x0d\\x0a[asset]\\x0d\\x0a/etc/passwd\r\n[asset]\r\n"
              "/p/n\\x00ul\\xff.exr  (mtime 0) size 0\r\n");
}

// Tips keep the order their codes were first raised in, whatever replaced their messages since.
Tips raised_in_order() {
    Tips tips;
    tips.set("50010", {"first"});
    tips.add("50001", "a");
    tips.set_script_value("60000", R"({"count": 2})");
    tips.extend("50001", {"b"});
    Tips later;
    later.set("50010", {"again"});
    tips.update(later);
    return tips;
}

TEST(ResultFiles, EveryFlowWritesItsResultsInOneOrderAndTheMarkerLast) {
    testing::TempDir dir;
    ConsoleCapture capture;
    RunContext run;
    run.path_json = dir.path();
    run.hip_file = dir.write("shot.hip", "scene");
    run.uploads_json_path = dir.file("upload.json");
    run.asset_json_path = dir.file("asset.json");
    run.tips_json_path = dir.file("tips.json");
    run.success_file = dir.file(kSuccessMarker);
    auto empty = [](JsonWriter& out) { out.value(Json::object()); };
    {
        ResultAssembly early(run);
        EXPECT_THROW(early.asset(empty), std::logic_error);  // before upload.json
        early.upload(UploadRecord{});
        EXPECT_THROW(early.succeed(), std::logic_error);  // before asset.json and tips.json
        early.asset(empty);
        EXPECT_THROW(early.asset_list(MissingRecord{}, {}), std::logic_error);  // before tips
        EXPECT_THROW(early.upload(UploadRecord{}), std::logic_error);           // twice
    }
    EXPECT_FALSE(os::exists(run.success_file));
    ResultAssembly results(run);
    results.upload(UploadRecord{});
    std::vector<std::string> all{"/s/a.usd", "/s/gone.usd"}, missing{"/s/gone.usd"};
    StageAssetRecord stage;
    stage.asset_size = 3;
    stage.asset = {"/s/a.usd  (mtime T) size 3"};
    stage.stage = "/s/shot.usd";
    stage.all = &all;
    stage.missing = &missing;
    results.asset([&](JsonWriter& out) { write_stage_asset_record(out, stage); });
    Json asset = read_json_file(run.asset_json_path);
    std::vector<std::string> keys;
    for (const auto& [key, value] : asset.items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"scene_file_size", "asset_size", "asset_num", "asset",
                                              "Nested_Assets", "missing_file"}));
    EXPECT_EQ(asset["asset_num"], 1);
    EXPECT_EQ(asset["Nested_Assets"], Json::object({{"/s/shot.usd", all}}));
    results.tips(raised_in_order());
    Json tips = read_json_file(run.tips_json_path);
    std::vector<std::string> codes;
    for (const auto& [code, messages] : tips.items()) codes.push_back(code);
    EXPECT_EQ(codes, (std::vector<std::string>{"50010", "50001", "60000"}));
    EXPECT_EQ(tips["50010"], Json::array({"again"}));
    EXPECT_EQ(tips["50001"], Json::array({"a", "b"}));
    EXPECT_EQ(tips["60000"], Json::object({{"count", 2}}));  // a host script's own value
    results.succeed();  // without asset.txt, as the USD-file flow
    EXPECT_EQ(testing::read_text(run.success_file), "\"\"");
    EXPECT_FALSE(os::exists(dir.file("asset.txt")));
    EXPECT_THROW(results.tips(Tips()), std::logic_error);  // nothing after the marker
}

TEST(TaskFile, TheMergeKeepsEveryOtherKeyAndChannelFourCopiesTheScene) {
    TempDir dir;
    ConsoleCapture capture;
    std::string task = dir.write("task.json", testing::kTaskJson);
    Json info = Json::object({{"rop_node", Json::array()}});
    Write_File(task, TaskMerge{"py311", "2", "20.0.547", info, Json::object(), {"/otls"}});
    Json merged = Json::parse(testing::read_text(task));
    EXPECT_EQ(merged["keep"], Json::array({1, 2}));
    EXPECT_EQ(merged["software_config"]["houdini_ver"], "20.0.547");
    EXPECT_EQ(merged["software_config"]["HOUDINI_OTLSCAN_PATH"], Json::array({"/otls"}));
    EXPECT_FALSE(merged.contains("scene_info_render"));
    Write_File(task, TaskMerge{"py311", "4", "20.0.547", info, Json::object(), {}});
    EXPECT_EQ(Json::parse(testing::read_text(task))["scene_info_render"], info);
}

}  // namespace
}  // namespace scanflow
