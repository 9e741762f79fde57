#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <optional>

#include "base/text.h"
#include "memory_fs.h"
#include "output/asset_record.h"
#include "output/run_summary.h"
#include "run/tip_codes.h"
#include "test_support.h"
#include "upload/drive_map.h"
#include "upload/gather.h"
#include "util/file_facts.h"

namespace scanflow {
namespace {

using testing::ConsoleCapture;
using testing::TempDir;

const Flavour kPosix{false};
const Flavour kWindows{true};

Environment mounts(const std::string& value) {
    return Environment::of({{"G_WIN_MNT_MAP", value}});
}

TEST(MountMap, RewritesMappedDrivesInBothForms) {
    EXPECT_TRUE(drive_replacement_map(Environment::of({}), kWindows).empty());
    EXPECT_EQ(replace_drive_in_path("A:/tex/wall.exr", {}), "A:/tex/wall.exr");

    Environment env =
        mounts(R"(ignored;{"A:": "\\\\server\\path\\show", "B:": "\\\\server\\sw\\"})");
    auto map = drive_replacement_map(env, kWindows);
    ASSERT_EQ(map, (DriveMap{{"A:", "show"}, {"B:", "sw"}}));
    EXPECT_EQ(replace_drive_in_path("A:/tex/wall.exr", map), "show/tex/wall.exr");
    EXPECT_EQ(replace_drive_in_path("a:/tex/wall.exr", map), "show/tex/wall.exr");
    EXPECT_EQ(replace_drive_in_path("/A/tex/wall.exr", map), "/show/tex/wall.exr");
    EXPECT_EQ(replace_drive_in_path("C:/tex/wall.exr", map), "C:/tex/wall.exr");
    EXPECT_EQ(replace_drive_in_path("/AB/tex/wall.exr", map), "/AB/tex/wall.exr");
    EXPECT_EQ(replace_drive_in_path("A:\\tex", map), "A:\\tex");
    // The posix flavour reads the same share names.
    EXPECT_EQ(drive_replacement_map(env, kPosix), map);
}

TEST(MountMap, SingleLetterFoldersAndBadValues) {
    EXPECT_TRUE(drive_replacement_map(mounts(R"({"A:": "\\\\server\\A"})"), kWindows).empty());
    EXPECT_EQ(drive_replacement_map(mounts(R"({"A:": "\\\\server\\B", "C:": ""})"), kWindows),
              (DriveMap{{"A:", "B"}}));
    EXPECT_TRUE(win_mount_map(mounts("[1, 2]")).empty());
    ConsoleCapture capture;
    EXPECT_TRUE(drive_replacement_map(mounts("A:=share"), kWindows).empty());
    EXPECT_EQ(capture.text().rfind("    WARNING: Failed to parse G_WIN_MNT_MAP: ", 0), 0u);
}

class Gather : public ::testing::Test {
protected:
    // Each gathering lists the directories afresh; the record as upload.json holds it.
    Json gather(const std::vector<std::string>& paths, const std::string& scene, Flavour f,
                const Environment& env = Environment::of({})) {
        DirCache listings;
        UploadRecord record = gather_upload(paths, scene, env, listings, f, 2);
        StringSink text;
        JsonWriter out(text, Unencodable::Drop);
        write_upload_record(out, record);
        out.flush();
        return Json::parse(text.text());
    }
    // Each asset entry's local and server forms, in order.
    static std::vector<std::pair<std::string, std::string>> entries_of(const UploadRecord& record) {
        std::vector<std::pair<std::string, std::string>> entries;
        for (const auto& entry : record.asset)
            entries.emplace_back(entry.local, entry.server_path());
        return entries;
    }
    TempDir dir_;
    ConsoleCapture capture_;
};

TEST_F(Gather, FlattensDirectoriesAndDeduplicates) {
    std::string a = dir_.write("tex/a.exr", "a");
    dir_.write("tex/sub/b.exr", "b");
    std::string scene = dir_.write("shot.hip", "scene");
    Json record = gather({dir_.file("tex"), a, dir_.file("missing.exr"), dir_.file("tex/./a.exr")},
                         scene, kPosix);
    ASSERT_EQ(record["asset"].size(), 2u);
    EXPECT_EQ(record["asset"][0]["local"], a);
    // The server form of a drive path drops its colon: /C/users/... for C:/users/...
    EXPECT_EQ(record["asset"][0]["server"],
              os::kWindows ? "/" + ascii_upper(a.substr(0, 1)) + a.substr(2) : a);
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
    Json record = gather({a, upper}, scene, kWindows);
    EXPECT_EQ(record["asset"].size(), 1u);

    std::string cwd = std::filesystem::current_path().string();
    std::filesystem::current_path(dir_.file("tex"));
    Json climbing = gather({"../tex/a.exr"}, scene, kPosix);
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(climbing["asset"].empty());
}

TEST_F(Gather, UsdScenesAreUploadedAsAssetsAndDrivesAreMapped) {
    for (const char* name : {"shot.usda", "shot.usdc", "shot.usd"}) {
        std::string usd = dir_.write(name, "#usda 1.0\n");
        Json record = gather({}, usd, kPosix);
        ASSERT_EQ(record["asset"].size(), 1u) << name;
        EXPECT_EQ(record["asset"][0]["local"], usd);
    }
    Json hip = gather({}, dir_.file("absent.hip"), kPosix);
    EXPECT_TRUE(hip["asset"].empty());
    EXPECT_EQ(hip["scene"][0]["hash"], "d41d8cd98f00b204e9800998ecf8427e");

    Json mapped =
        gather({}, "A:/shots/s.hip", kWindows, mounts(R"({"A:": "\\\\server\\path\\show"})"));
    EXPECT_EQ(mapped["scene"][0]["local"], "show/shots/s.hip");
    EXPECT_EQ(mapped["scene"][0]["server"], "/show/shots/s.hip");
    // A USD scene's asset entry is a copy of the scene's, server form included.
    Json usd_mapped =
        gather({}, "A:/shots/s.usda", kWindows, mounts(R"({"A:": "\\\\server\\path\\show"})"));
    ASSERT_EQ(usd_mapped["asset"].size(), 1u);
    EXPECT_EQ(usd_mapped["asset"][0]["local"], "show/shots/s.usda");
    EXPECT_EQ(usd_mapped["asset"][0]["server"], "/show/shots/s.usda");
}

TEST_F(Gather, AssetsOnAMappedDriveAreUploadedUnderTheirServerFolder) {
    testing::MemoryFileSystem fs(kWindows, "C:/work");
    fs.add_file("A:/shots/a.exr");
    fs.add_file("A:/shots/tex/b.exr");
    fs.add_file("C:/local/c.exr");
    DirCache listings(fs);
    UploadRecord record = gather_upload(
        {"A:\\shots\\a.exr", "a:/shots/tex", "C:/local/c.exr", "A:/shots/gone.exr"},
        "A:/shots/s.hip", mounts(R"({"A:": "\\\\server\\path\\show"})"), listings, kWindows, 2);
    EXPECT_EQ(entries_of(record), (std::vector<std::pair<std::string, std::string>>{
                                      {"show/shots/a.exr", "/show/shots/a.exr"},
                                      {"show/shots/tex/b.exr", "/show/shots/tex/b.exr"},
                                      {"C:/local/c.exr", "/C/local/c.exr"}}));
    EXPECT_EQ(record.scene.local, "show/shots/s.hip");
}

TEST_F(Gather, ServerFormsOfDrivesSharesAndMappedDriveLetters) {
    testing::MemoryFileSystem fs(kWindows, "C:/work");
    for (const char* path : {"C:/local/c.exr", "//farm/share/d.exr", "C:/work/e.exr"})
        fs.add_file(path);
    DirCache listings(fs);
    UploadRecord record =
        gather_upload({"C:\\local\\c.exr", "\\\\farm\\share\\d.exr", "e.exr"}, "C:/work/s.hip",
                      Environment::of({}), listings, kWindows, 2);
    EXPECT_EQ(entries_of(record), (std::vector<std::pair<std::string, std::string>>{
                                      {"C:/local/c.exr", "/C/local/c.exr"},
                                      {"//farm/share/d.exr", "/farm/share/d.exr"},
                                      {"e.exr", "e.exr"}}));

    // A mapped drive's letter as the first folder of a POSIX path is mapped too.
    testing::MemoryFileSystem posix(kPosix, "/work");
    posix.add_file("/A/shots/f.exr");
    DirCache posix_listings(posix);
    UploadRecord mapped =
        gather_upload({"/A/shots/f.exr"}, "/work/s.hip", mounts(R"({"A:": "\\\\server\\show"})"),
                      posix_listings, kPosix, 2);
    ASSERT_EQ(mapped.asset.size(), 1u);
    EXPECT_EQ(mapped.asset[0].local, "/show/shots/f.exr");
}

TEST_F(Gather, FilesLookedAtAheadAreRecordedAsInTurnAfterThePathsBeforeThem) {
    testing::MemoryFileSystem fs(kWindows, "C:/work");
    for (const char* path : {"A:/shots/a.exr", "A:/shots/tex/b.exr", "C:/local/c.exr"})
        fs.add_file(path);
    fs.add_file("C:/local/d.exr", 4);
    fs.add_file("C:/local/e.exr", 5);
    const Environment env = mounts(R"({"A:": "\\\\server\\path\\show"})");
    // The second names the first in another case; the first ahead names it too, and the third
    // ahead one of its own again.
    const std::vector<std::string> before{"A:\\shots\\a.exr", "a:/SHOTS/a.exr", "C:/local/c.exr"};
    const std::vector<std::string> ahead{"a:/shots/A.exr", "C:/local/d.exr", "C:/local/d.exr",
                                         "C:\\local\\.\\e.exr", "A:/shots/tex/b.exr"};
    std::vector<std::string> all = before;
    all.insert(all.end(), ahead.begin(), ahead.end());
    DirCache listings(fs);
    const UploadRecord in_turn = gather_upload(all, "C:/work/s.hip", env, listings, kWindows, 2);
    ASSERT_EQ(in_turn.asset.size(), 5u);

    std::vector<std::string> paths = ahead;
    std::atomic<bool> leave{true};
    // Left: nothing is taken.
    EXPECT_FALSE(examine_files_ahead(paths, env, listings, kWindows, leave).has_value());
    EXPECT_EQ(paths.size(), 4u);
    leave = false;
    std::optional<ExaminedFiles> files = examine_files_ahead(paths, env, listings, kWindows, leave);
    ASSERT_TRUE(files.has_value());
    EXPECT_TRUE(paths.empty());
    // Stated part of the way: the facts of the first files go with their entries, the file
    // named again in another case dropped with its facts.
    EXPECT_TRUE(state_examined_files(*files, listings, leave));
    ASSERT_EQ(files->facts.size(), 4u);
    files->facts.resize(3);
    leave = true;
    EXPECT_FALSE(state_examined_files(*files, listings, leave));
    EXPECT_EQ(files->facts.size(), 3u);
    leave = false;
    UploadRecord record =
        gather_upload(before, "C:/work/s.hip", env, listings, kWindows, 2, std::move(*files));
    EXPECT_EQ(entries_of(record), entries_of(in_turn));
    EXPECT_EQ(record.facts_from, 2u);
    // Those of C:/local/d.exr and e.exr: not A.exr's, dropped, nor b.exr's, not stated.
    ASSERT_EQ(record.facts.size(), 2u);
    EXPECT_EQ(record.facts_of(1), nullptr);
    const FileFacts *d = record.facts_of(2), *e = record.facts_of(3);
    ASSERT_TRUE(d && e);
    EXPECT_EQ(d->size, 4);
    EXPECT_EQ(e->size, 5);
    EXPECT_EQ(record.facts_of(4), nullptr);
    EXPECT_EQ(in_turn.facts_of(2), nullptr);

    // Not all files (a directory, a file that is not there): nothing is taken, each path once.
    for (const char* other : {"A:/shots/tex", "C:/local/gone.exr"}) {
        std::vector<std::string> left{"C:/local/d.exr", other, "C:/local/d.exr"};
        EXPECT_FALSE(examine_files_ahead(left, env, listings, kWindows, leave).has_value())
            << other;
        EXPECT_EQ(left, (std::vector<std::string>{"C:/local/d.exr", other}));
    }

    // Without keys of their own (no drive mapped, not Windows), the same.
    testing::MemoryFileSystem posix(kPosix, "/work");
    posix.add_file("/tex/a.exr");
    posix.add_file("/tex/b.exr");
    DirCache posix_listings(posix);
    const Environment none = Environment::of({});
    std::vector<std::string> posix_ahead{"/tex/./a.exr", "/tex/b.exr"};
    const UploadRecord posix_in_turn =
        gather_upload({"/tex/a.exr", "/tex/./a.exr", "/tex/b.exr"}, "/work/s.hip", none,
                      posix_listings, kPosix, 2);
    std::optional<ExaminedFiles> posix_files =
        examine_files_ahead(posix_ahead, none, posix_listings, kPosix, leave);
    ASSERT_TRUE(posix_files.has_value());
    EXPECT_EQ(entries_of(gather_upload({"/tex/a.exr"}, "/work/s.hip", none, posix_listings, kPosix,
                                       2, std::move(*posix_files))),
              entries_of(posix_in_turn));
    EXPECT_EQ(posix_in_turn.asset.size(), 2u);
}

TEST_F(Gather, AssetLinesAreTheSortedDistinctFactsLinesOfTheRecord) {
    SKIP_ON_WINDOWS("names that differ only in case, and a tab in a name");
    // Names that are prefixes of one another, and characters on either side of the space that
    // follows a path in its line, order the lines as their whole texts do.
    std::vector<std::string> paths;
    for (const char* name : {"a!", "a", "a b", "a\tb", "A", "a.exr", "b"})
        paths.push_back(dir_.write(std::string("t/") + name, name));
    std::string scene = dir_.write("shot.hip", "scene");
    DirCache listings;
    UploadRecord record = gather_upload(paths, scene, Environment::of({}), listings, kPosix, 2);
    record.asset.push_back(record.asset[2]);  // the same file twice makes one line
    AssetRecord asset;
    add_file_facts(asset, state_upload_facts(record, scene, listings, 2));

    std::vector<std::string> expected;
    for (const auto& path : paths) expected.push_back(file_data_line(path, stat_file(path)));
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> lines;
    for (const auto& line : asset.asset) lines.push_back(line.text());
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(asset.asset_num, paths.size() + 1);
    EXPECT_EQ(asset.scene_file_size, 5);

    // The same lines when most files were looked at, stated and put in order ahead: theirs and
    // the others' interleave.
    std::vector<std::string> ahead(paths.begin() + 1, paths.end() - 1);
    std::atomic<bool> leave{false};
    std::optional<ExaminedFiles> files =
        examine_files_ahead(ahead, Environment::of({}), listings, kPosix, leave);
    ASSERT_TRUE(files && state_examined_files(*files, listings, leave));
    leave = true;
    EXPECT_FALSE(order_examined_files(*files, leave));  // left: no order
    EXPECT_TRUE(files->facts_order.empty());
    leave = false;
    ASSERT_TRUE(order_examined_files(*files, leave));
    UploadRecord split = gather_upload({paths.back(), paths.front()}, scene, Environment::of({}),
                                       listings, kPosix, 2, std::move(*files));
    ASSERT_EQ(split.facts_order.size(), paths.size() - 2);
    AssetRecord split_asset;
    add_file_facts(split_asset, state_upload_facts(split, scene, listings, 2));
    std::vector<std::string> split_lines;
    for (const auto& line : split_asset.asset) split_lines.push_back(line.text());
    EXPECT_EQ(split_lines, expected);
    EXPECT_EQ(split_asset.asset_size, asset.asset_size - 3);  // the file twice: "a b" is 3 bytes
}

TEST(RunSummary, EveryTipCodeHasItsMeaning) {
    for (const char* code :
         {tip::kMissingFiles, tip::kCameraErrors, tip::kCameraWarnings, tip::kUnsupportedSliceType,
          tip::kTooManySlices, tip::kNoRenderNode, tip::kNeedsGpuPlatform, tip::kVrayExportMode,
          tip::kMissingOutputDriver, tip::kMissingSimControl, tip::kMissingCamera,
          tip::kProtectedPaths, tip::kProblemNodes, tip::kArnoldGpuDenoise,
          tip::kUnconfiguredRenderer, tip::kOpenglNeedsGpu})
        EXPECT_FALSE(tip::meaning(code).empty()) << code;
    EXPECT_TRUE(tip::meaning("50000").empty());
}

TEST(RunSummary, ReadsBothFlowsResultFilesAndNamesTipsInWords) {
    TempDir scene_run;
    FileSummary files{
        true, 3, 3145728,
        missing_files_of(MissingRecord{{{"/obj/a/file", "/t/a.exr"}}, {"/t/n1.usd", "/t/n2.usd"}}),
        2};
    scene_run.write("task.json",
                    R"({"scene_info": {"rop_node": [{"node": "/out/r", "frames": "1-9[1]",
        "camera": "/obj/cam", "width": "640", "height": "480"}, {"node": "/out/g", "frames": "1-2[1]"}],
        "geo_node": [{"node": "/out/cache"}]}})");
    // Lists hold what they hold, a value of another shape counts once, a repeated code takes its
    // first place and its last value.
    scene_run.write("tips.json", R"({"50001": ["a", ["b", "c"], {"d": [1, 2]}], "59998": ["z"],
        "59999": ["p", "q"], "50010": {"e": [1, 2]}, "59998": [1, 2], "59997": [], "59999": "x"})");
    std::vector<std::string> expected{
        "scanflow: analysed /s/shot.hip; results in " + scene_run.path(),
        "  files found: 3 (3.0 MB)",
        "  files missing: 3",
        "    /t/a.exr  (/obj/a/file)",
        "    /t/n1.usd  (Nested_Assets)",
        "    /t/n2.usd  (Nested_Assets)",
        "  nested files read: 2",
        "  render nodes: 2",
        "    /out/r: frames 1-9[1], camera /obj/cam, resolution 640x480",
        "    /out/g: frames 1-2[1], camera not set, resolution not read",
        "  output and cache nodes: 1",
        "  tips: 4",
        "    50001 (3): files the scene needs are missing",
        "    59998 (2): see tips.json",
        "    59999 (1): see tips.json",
        "    50010 (1): the scene has no render, output or simulation node to run",
    };
    EXPECT_EQ(run_summary("/s/shot.hip", scene_run.path(), files), expected);

    TempDir usd_run;  // missing files as a list; twelve of them, ten shown; no task file
    Json missing = Json::array();
    for (int i = 0; i < 12; ++i) missing.push_back("/m/" + std::to_string(i));
    usd_run.write("tips.json", "not json");
    auto lines = run_summary("/s/a.usd", usd_run.path(),
                             FileSummary{true, 0, 0, missing_files_of(missing), 0});
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[1], "  files found: 0 (0 bytes)");
    EXPECT_EQ(lines[2], "  files missing: 12");
    EXPECT_EQ(lines[12], "    /m/9");
    EXPECT_EQ(lines[13], "    ... and 2 more");
    EXPECT_EQ(lines[14], "  nested files read: 0");
    usd_run.write("tips.json", R"([{"50001": ["a"]}])");
    EXPECT_EQ(run_summary("/s/a.usd", usd_run.path(), FileSummary{true, 0, 0, {}, 0}).size(), 4u);
    // A run that recorded nothing of its files says nothing of them.
    EXPECT_EQ(run_summary("/s/a.usd", usd_run.path(), FileSummary{}).size(), 1u);
}

}  // namespace
}  // namespace scanflow
