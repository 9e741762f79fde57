#include <gtest/gtest.h>

#include <cstdlib>

#include "drivers/related.h"
#include "test_support.h"
#include "util/file_facts.h"

namespace scanflow {
namespace {

using testing::ConsoleCapture;
using testing::TempDir;

const Flavour kPosix{false};
const Flavour kWindows{true};

class MountMap : public ::testing::Test {
protected:
    void TearDown() override { ::unsetenv("G_WIN_MNT_MAP"); }
    void set(const std::string& value) { ::setenv("G_WIN_MNT_MAP", value.c_str(), 1); }
};

TEST_F(MountMap, RewritesMappedDrivesInBothForms) {
    ::unsetenv("G_WIN_MNT_MAP");
    EXPECT_TRUE(Related::_get_drive_replacement_map(kWindows).empty());
    EXPECT_EQ(Related::_replace_drive_in_path("A:/tex/wall.exr", {}), "A:/tex/wall.exr");

    set(R"(ignored;{"A:": "\\\\server\\path\\show", "B:": "\\\\server\\sw\\"})");
    auto map = Related::_get_drive_replacement_map(kWindows);
    ASSERT_EQ(map, (Related::DriveMap{{"A:", "show"}, {"B:", "sw"}}));
    EXPECT_EQ(Related::_replace_drive_in_path("A:/tex/wall.exr", map), "show/tex/wall.exr");
    EXPECT_EQ(Related::_replace_drive_in_path("a:/tex/wall.exr", map), "show/tex/wall.exr");
    EXPECT_EQ(Related::_replace_drive_in_path("/A/tex/wall.exr", map), "/show/tex/wall.exr");
    EXPECT_EQ(Related::_replace_drive_in_path("C:/tex/wall.exr", map), "C:/tex/wall.exr");
    EXPECT_EQ(Related::_replace_drive_in_path("/AB/tex/wall.exr", map), "/AB/tex/wall.exr");
    EXPECT_EQ(Related::_replace_drive_in_path("A:\\tex", map), "A:\\tex");
    // The posix flavour reads the same share names.
    EXPECT_EQ(Related::_get_drive_replacement_map(kPosix), map);
}

TEST_F(MountMap, SingleLetterFoldersAndBadValues) {
    set(R"({"A:": "\\\\server\\A"})");
    EXPECT_TRUE(Related::_get_drive_replacement_map(kWindows).empty());
    set(R"({"A:": "\\\\server\\B", "C:": ""})");
    EXPECT_EQ(Related::_get_drive_replacement_map(kWindows), (Related::DriveMap{{"A:", "B"}}));
    set("[1, 2]");
    EXPECT_TRUE(Related::_get_win_mnt_map().empty());
    ConsoleCapture capture;
    set("A:=share");
    EXPECT_TRUE(Related::_get_drive_replacement_map(kWindows).empty());
    EXPECT_EQ(capture.text().rfind("    WARNING: Failed to parse G_WIN_MNT_MAP: ", 0), 0u);
}

class Gather : public ::testing::Test {
protected:
    void SetUp() override {
        dir_.write("out/task.json", testing::kTaskJson);
        Json params = Json::object();
        params["hip_file"] = dir_.file("shot.hip");
        params["path_json"] = dir_.file("out");
        related_ = std::make_unique<Related>(params);
    }
    void TearDown() override { ::unsetenv("G_WIN_MNT_MAP"); }
    TempDir dir_;
    ConsoleCapture capture_;
    std::unique_ptr<Related> related_;
};

TEST_F(Gather, FlattensDirectoriesAndDeduplicates) {
    std::string a = dir_.write("tex/a.exr", "a");
    dir_.write("tex/sub/b.exr", "b");
    std::string scene = dir_.write("shot.hip", "scene");
    Json record = related_->gather_upload(
        {dir_.file("tex"), a, dir_.file("missing.exr"), dir_.file("tex/./a.exr")}, scene, kPosix);
    ASSERT_EQ(record["asset"].size(), 2u);
    EXPECT_EQ(record["asset"][0]["local"], a);
    EXPECT_EQ(record["asset"][0]["server"], a);
    EXPECT_EQ(record["asset"][1]["local"], dir_.file("tex/sub/b.exr"));
    ASSERT_EQ(record["scene"].size(), 1u);
    EXPECT_EQ(record["scene"][0]["hash"], getFileMd5(scene));
    EXPECT_EQ(record.dump().find("\"asset\""), 1u);  // "asset" before "scene"
    EXPECT_NE(capture_.text().find("<des>start gather upload file</des>"), std::string::npos);
    EXPECT_NE(capture_.text().find("<des>gather upload file ok</des>"), std::string::npos);
}

TEST_F(Gather, WindowsKeysIgnoreCaseAndRelativeClimbsAreDropped) {
    std::string a = dir_.write("tex/a.exr", "a");
    std::string upper = dir_.write("TEX/A.exr", "A");  // a different file here, the same on Windows
    std::string scene = dir_.write("shot.hip", "scene");
    Json record = related_->gather_upload({a, upper}, scene, kWindows);
    EXPECT_EQ(record["asset"].size(), 1u);

    std::string cwd = std::filesystem::current_path().string();
    std::filesystem::current_path(dir_.file("tex"));
    Json climbing = related_->gather_upload({"../tex/a.exr"}, scene, kPosix);
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(climbing["asset"].empty());
}

TEST_F(Gather, UsdScenesAreUploadedAsAssetsAndDrivesAreMapped) {
    std::string usd = dir_.write("shot.usda", "#usda 1.0\n");
    Json record = related_->gather_upload({}, usd, kPosix);
    ASSERT_EQ(record["asset"].size(), 1u);
    EXPECT_EQ(record["asset"][0]["local"], usd);
    Json hip = related_->gather_upload({}, dir_.file("absent.hip"), kPosix);
    EXPECT_TRUE(hip["asset"].empty());
    EXPECT_EQ(hip["scene"][0]["hash"], "d41d8cd98f00b204e9800998ecf8427e");

    ::setenv("G_WIN_MNT_MAP", R"({"A:": "\\\\server\\path\\show"})", 1);
    Json mapped = related_->gather_upload({}, "A:/shots/s.hip", kWindows);
    EXPECT_EQ(mapped["scene"][0]["local"], "show/shots/s.hip");
    EXPECT_EQ(mapped["scene"][0]["server"], "/show/shots/s.hip");
}

}  // namespace
}  // namespace scanflow
