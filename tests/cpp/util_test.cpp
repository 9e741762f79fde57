#include <gtest/gtest.h>
#include <chrono>
#include <thread>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>

#include "base/numbers.h"
#include "base/people.h"
#include "base/text.h"
#include "base/text_list.h"
#include "host/value.h"
#include "memory_fs.h"
#include "test_support.h"
#include "util/confinement.h"
#include "util/encoding.h"
#include "util/exclusions.h"
#include "util/facts_ahead.h"
#include "util/file_facts.h"
#include "util/file_handle.h"
#include "util/fs_cache.h"
#include "util/json.h"
#include "util/paths.h"
#include "util/tx_counterparts.h"

namespace scanflow {
namespace {

// A listing cache made for one call.
using Fresh = testing::FreshListings;

using testing::ConsoleCapture;
using testing::TempDir;

const Flavour kPosix{false};
const Flavour kWindows{true};

const std::string kGbkChinese = "\xd6\xd0\xce\xc4";  // "中文" in GBK
const std::string kUtf8Chinese = "\xe4\xb8\xad\xe6\x96\x87";

// Texts end to end: empty ones and ones with any byte keep their place and their length.
TEST(TextList, EachTextComesBackAsItWasGiven) {
    const std::vector<std::string> texts{"", "a", std::string("b\0c", 3), "", "/obj/n1/file"};
    TextList list(texts);
    list.push_back("last");
    ASSERT_EQ(list.size(), 6u);
    EXPECT_EQ(list[2], std::string_view("b\0c", 3));
    EXPECT_EQ(list[3], "");
    EXPECT_EQ(list[5], "last");
    std::vector<std::string> seen(list.begin(), list.end());
    EXPECT_EQ(std::vector<std::string>(seen.begin(), seen.end() - 1), texts);
    EXPECT_EQ(list.strings(), seen);
    EXPECT_EQ(TextList(texts), TextList(texts));
    EXPECT_NE(TextList(texts), list);
    std::string repr;
    append_texts_repr(repr, TextList(std::vector<std::string>{"it's", "x"}));
    EXPECT_EQ(repr, "[\"it's\", 'x']");
    list.clear();
    EXPECT_TRUE(list.empty());
}

TEST(Encoding, DecodersTryTheirEncodingsInOrder) {
    EXPECT_EQ(bety_out_decode(kUtf8Chinese), kUtf8Chinese);
    EXPECT_EQ(bety_out_decode(kGbkChinese), kUtf8Chinese);
    EXPECT_EQ(bety_out_decode("\xff"), "b'\\xff'");
    EXPECT_EQ(bety_out_decode("a'\xff\t"), "b\"a'\\xff\\t\"");
    EXPECT_EQ(python_quoted("\\\"'", Quoted::Bytes), "b'\\\\\"\\''");
    // A list of texts as the interpreter prints it, each quoted as it needs.
    EXPECT_EQ(texts_repr({"a", "it's", "c\\d"}), "['a', \"it's\", 'c\\\\d']");
    EXPECT_EQ(texts_repr({}), "[]");
    EXPECT_EQ(get_encode("abc"), "abc");
    EXPECT_EQ(get_encode(kGbkChinese), kUtf8Chinese);
    EXPECT_EQ(get_encode("\xff\xff"), std::nullopt);
    EXPECT_FALSE(is_utf8("\xed\xa0\x80"));  // an encoded surrogate
    EXPECT_FALSE(is_utf8("\xc0\xaf"));      // overlong
}

TEST(Encoding, EncodeTextAndItsConsoleLines) {
    std::string error;
    EXPECT_EQ(encode_text(kUtf8Chinese, "GBK", &error), kGbkChinese);
    EXPECT_EQ(encode_text("abc", "Utf-8", &error), "abc");
    EXPECT_EQ(encode_text(kUtf8Chinese, "ascii", &error), std::nullopt);
    ConsoleCapture capture;
    unicode_to_str("abc", "no-such-codec");
    auto lines = capture.lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "[err]unicode_to_str:encode abc to no-such-codec failed");
    EXPECT_EQ(lines[2], "unknown encoding: no-such-codec");
    EXPECT_NE(lines[3].find("unicode_to_str is END"), std::string::npos);
}

TEST(Paths, UncPathRewritesOnlyLongPaths) {
    std::string p250 = "c:/" + std::string(247, 'a');
    EXPECT_EQ(unc_path(p250), p250);
    std::string p251 = "c:/" + std::string(246, 'a') + "/b";
    EXPECT_EQ(unc_path(p251), "\\\\?\\c:\\" + std::string(246, 'a') + "\\b");
    std::string unc = "//host/share/" + std::string(290, 'x');
    EXPECT_EQ(unc_path(unc), "\\\\?\\unc\\host\\share\\" + std::string(290, 'x'));
    std::string wide;  // 200 two-byte characters: 400 bytes but 200 characters
    for (int i = 0; i < 200; ++i) wide += "\xc3\xa9";
    EXPECT_EQ(unc_path(wide), wide);
}

TEST(Paths, ConvertPathToServerForm) {
    ConsoleCapture capture;
    EXPECT_EQ(convert_path("d:\\proj\\..\\tex\\a.exr", kWindows), "/D/tex/a.exr");
    EXPECT_EQ(convert_path("//host/share/a.exr", kWindows), "/host/share/a.exr");
    EXPECT_EQ(convert_path("tex/a.exr", kWindows), "tex/a.exr");
    EXPECT_EQ(convert_path("c:/x/c:/y", kWindows), "/C/x//C/y");  // every "c:" is rewritten
    EXPECT_EQ(convert_path("//host/share/a.exr", kPosix), "/host/share/a.exr");
    EXPECT_EQ(convert_path("C:/proj/./a.exr", kPosix), "/C/proj/a.exr");
    EXPECT_EQ(convert_path("/jobs//a/../b.exr", kPosix), "/jobs/b.exr");
}

TEST(Paths, FnmatchFollowsShellRules) {
    EXPECT_TRUE(fnmatch("wall.1001.exr", "wall.*[0-9].exr", kPosix));
    EXPECT_FALSE(fnmatch("wall.exr", "wall.*[0-9].exr", kPosix));
    EXPECT_TRUE(fnmatch("a[b", "a[b", kPosix));  // unclosed set: a literal bracket
    EXPECT_TRUE(fnmatch("x", "[!a-c]", kPosix));
    EXPECT_FALSE(fnmatch("b", "[!a-c]", kPosix));
    EXPECT_TRUE(fnmatch("]", "[]]", kPosix));
    EXPECT_TRUE(fnmatch("-", "[a-]", kPosix));
    EXPECT_TRUE(fnmatch("路.exr", "?.exr", kPosix));  // one character, not one byte
    EXPECT_FALSE(fnmatch("WALL.exr", "wall.*", kPosix));
    EXPECT_TRUE(fnmatch("WALL.exr", "wall.*", kWindows));
}

class OnDisk : public ::testing::Test {
protected:
    std::string make(const std::string& name, const std::string& text = "x") {
        return dir_.write(name, text);
    }
    std::string at(const std::string& name) const { return dir_.file(name); }
    TempDir dir_;
    ConsoleCapture capture_;
};

TEST_F(OnDisk, GlobFileExpandsPatternsWithTheTexRule) {
    make("tex/wall.1001.tex");
    make("tex/wall.1001.png");
    make("tex/wall.1002.tex");
    make("tex/.wall.1003.tex");
    make("tex/sub/wall.1004.tex");
    auto found = glob_file(at("tex/wall.*.tex"), Fresh(), kPosix);
    std::vector<std::string> tex(found.begin(), found.end() - 1);
    std::sort(tex.begin(), tex.end());
    EXPECT_EQ(tex, (std::vector<std::string>{at("tex/wall.1001.tex"), at("tex/wall.1002.tex")}));
    EXPECT_EQ(found.back(), at("tex/wall.1001.png"));  // the ".tex" matches come first
    EXPECT_EQ(glob_file(at("tex/*.*[0-9].tex"), Fresh(), kPosix).size(),
              2u);  // hidden names excluded
    EXPECT_EQ(glob_file(at("tex/.*.tex"), Fresh(), kPosix),
              (std::vector<std::string>{at("tex/.wall.1003.tex")}));
    EXPECT_EQ(glob_file(at("*/sub/*.tex"), Fresh(), kPosix),
              (std::vector<std::string>{at("tex/sub/wall.1004.tex")}));
    EXPECT_EQ(glob_file(at("tex/wall.1001.png"), Fresh(), kPosix),
              (std::vector<std::string>{at("tex/wall.1001.png")}));
    EXPECT_TRUE(glob_file(at("tex/none.*.exr"), Fresh(), kPosix).empty());
    EXPECT_TRUE(glob_file(at("missing/*.exr"), Fresh(), kPosix).empty());
    // Windows: names compare without case, either separator splits, "/" in the result.
    std::string win_pattern = replace_all(at("TEX\\WALL.*.TEX"), "/", "\\");
    win_pattern.replace(win_pattern.find("TEX"), 3, "tex");  // the directory itself is real
    auto win = glob_file(win_pattern, Fresh(), kWindows);
    ASSERT_EQ(win.size(), 2u);
    EXPECT_EQ(win[0].find('\\'), std::string::npos);
}

TEST_F(OnDisk, GetFilesWalksTopDownInBothFlavours) {
    make("root/a.exr");
    make("root/sub/b.exr");
    make("root/sub/deeper/c.exr");
    // A link to a directory is not walked into (Windows links need a privilege).
    if (!os::kWindows) std::filesystem::create_directory_symlink(at("root/sub"), at("root/link"));
    auto posix = get_files(at("root"), Fresh(), kPosix);
    ASSERT_EQ(posix.size(), 3u);
    EXPECT_EQ(posix[0], at("root/a.exr"));  // the top directory's files come first
    EXPECT_EQ(std::count(posix.begin(), posix.end(), at("root/sub/deeper/c.exr")), 1);
    auto windows = get_files(at("root"), Fresh(), kWindows);
    ASSERT_EQ(windows.size(), 3u);
    EXPECT_EQ(windows[0], at("root/a.exr"));
    EXPECT_TRUE(get_files(at("nothing"), Fresh(), kPosix).empty());
    EXPECT_TRUE(get_files(at("root/a.exr"), Fresh(), kPosix).empty());
}

TEST_F(OnDisk, UnreadableDirectoriesAreSkipped) {
#ifdef _WIN32
    SKIP_ON_WINDOWS("permission bits");
#else
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every directory";
    make("locked/inner/a.exr");
    ::chmod(at("locked/inner").c_str(), 0);
    EXPECT_TRUE(get_files(at("locked"), Fresh(), kPosix).empty());
    ::chmod(at("locked/inner").c_str(), 0755);
#endif
}

TEST_F(OnDisk, CheckCacheFileFindsConvertedTextures) {
    make("tex/a.exr");
    make("tex/a.tx");
    EXPECT_EQ(checkCacheFile(at("tex/a.exr"), Fresh(), kPosix),
              (std::vector<std::string>{at("tex/a.tx")}));
    EXPECT_TRUE(checkCacheFile(at("tex/a.tx"), Fresh(), kPosix).empty());
    make("tex/a.rstexbin");  // a converted texture has no counterparts of its own
    EXPECT_TRUE(checkCacheFile(at("tex/a.rstexbin"), Fresh(), kPosix).empty());
    EXPECT_TRUE(checkCacheFile(at("tex/a."), Fresh(), kPosix).empty());
}

TEST_F(OnDisk, ListingCacheListsEachDirectoryOnce) {
    for (int i = 1000; i < 1100; ++i) make("seq/f." + std::to_string(i) + ".exr");
    DirCache listings;
    size_t before = listings.reads();
    EXPECT_EQ(glob(at("seq/f.*[0-9].exr"), listings, kPosix).size(), 100u);
    for (int i = 1000; i < 1100; ++i)
        EXPECT_TRUE(listings.isfile(at("seq/f." + std::to_string(i) + ".exr")));
    EXPECT_FALSE(listings.exists(at("seq/f.999.exr")));
    EXPECT_FALSE(listings.exists(at("seq/none/deeper.exr")));
    EXPECT_EQ(listings.reads() - before, 2u);  // seq/ and its parent (none/ is known absent)
}

// A Windows workstation's paths, on any machine: drives and shares, either separator, names
// without case, each folder listed once whatever its spelling.
TEST(WindowsPaths, ListingsAnswerAsWindowsDoes) {
    testing::MemoryFileSystem fs(kWindows, "C:/work");
    fs.add_file("C:/Show/Tex/Wall.1001.exr", 10, 100);
    fs.add_file("C:/Show/Tex/Wall.1002.exr");
    fs.add_file("C:/Show/Tex/Wall.1001.tx");
    fs.add_file("C:/work/rel.exr");
    fs.add_file("//Server/Share/assets/tree.abc");
    fs.add_file("D:/other/x.exr");
    DirCache listings(fs);
    EXPECT_TRUE(listings.isfile("c:\\show\\tex\\WALL.1001.EXR"));
    EXPECT_TRUE(listings.isdir("C:\\SHOW\\tex"));
    EXPECT_TRUE(listings.isfile("\\\\server\\share\\ASSETS\\tree.abc"));
    EXPECT_TRUE(listings.isfile("rel.exr"));  // from the working directory
    EXPECT_FALSE(listings.exists("D:/show/tex/wall.1001.exr"));
    EXPECT_FALSE(listings.exists("C:/show/tex/wall.1003.exr"));
    EXPECT_EQ(listings.facts("c:/SHOW/tex/wall.1001.exr").size, 10);
    int listed = fs.listings();
    EXPECT_TRUE(listings.isfile("C:/show/TEX/wall.1002.exr"));
    EXPECT_TRUE(listings.isfile("C:\\Show/tex\\wall.1001.TX"));
    EXPECT_EQ(fs.listings(), listed);  // the same folder, however written

    auto sequence = glob_file("c:\\show\\tex\\wall.*.EXR", listings, kWindows);
    std::sort(sequence.begin(), sequence.end());
    EXPECT_EQ(sequence,
              (std::vector<std::string>{"c:/show/tex/Wall.1001.exr", "c:/show/tex/Wall.1002.exr"}));
    EXPECT_EQ(checkCacheFile("C:/Show/Tex/Wall.1001.exr", listings, kWindows),
              (std::vector<std::string>{"C:/Show/Tex/Wall.1001.tx"}));
    auto share = get_files("//server/share", listings, kWindows);
    EXPECT_EQ(share, (std::vector<std::string>{"//server/share/assets/tree.abc"}));
}

TEST_F(OnDisk, FactsStatedAheadAreTheOnesAskedForLater) {
    std::string a = make("seq/a.exr", "abc"), b = make("seq/b.exr", "abcdef");
    make("seq/sub/c.exr");
    TextList first(std::vector<std::string>{a, at("seq/sub"), at("seq/missing.exr")});
    TextList second(std::vector<std::string>{a + "x", b});
    DirCache listings;
    FactsAhead ahead(listings, {&first, &second},
                     [&](const std::string& path) { return path != a + "x"; });
    // Only files count; the directory, the missing path and the unwanted one are passed over.
    for (int i = 0; i < 10000 && ahead.stated() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(ahead.stated(), 2u);
    ahead.stop();
    ahead.stop();  // once stopped, it stays stopped
    // A file that changes after its facts were stated ahead answers from the run's cache.
    make("seq/a.exr", "abcdefghi");
    EXPECT_EQ(listings.facts(a).size, 3);
    EXPECT_EQ(listings.facts(b).size, 6);
    DirCache fresh;
    EXPECT_EQ(fresh.facts(a).size, 9);
    // Nothing to state: no thread.
    FactsAhead idle(listings, {}, {});
    EXPECT_EQ(idle.stated(), 0u);
    idle.end_first();
    // Work wanted sooner runs first, until it is ended; then the stating begins.
    std::atomic<int> steps{0};
    DirCache later;
    FactsAhead with_first(
        later, {&second}, [](const std::string&) { return true; },
        [&](const std::atomic<bool>& leave) {
            for (; !leave; ++steps) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return true;
        });
    for (int i = 0; i < 10000 && steps < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GE(steps, 3);
    EXPECT_EQ(with_first.stated(), 0u);
    with_first.end_first();
    int ended_at = steps;
    for (int i = 0; i < 10000 && with_first.stated() < 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(with_first.stated(), 1u);  // b; a + "x" is no file
    EXPECT_EQ(steps, ended_at);
    // Work first that stated what the lists hold itself: the lists are not gone over.
    DirCache stated_first;
    FactsAhead done_first(
        stated_first, {&second}, [](const std::string&) { return true; },
        [](const std::atomic<bool>&) { return false; });
    done_first.end_first();
    for (int i = 0; i < 200 && done_first.stated() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(done_first.stated(), 0u);  // the first work's own thread would have stated b
}

TEST_F(OnDisk, FileFacts) {
    std::string abc = make("abc.txt", "abc");
    std::string empty = make("empty.txt", "");
    const std::string empty_md5 = "d41d8cd98f00b204e9800998ecf8427e";
    EXPECT_EQ(getFileMd5(abc), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(getFileMd5(empty), empty_md5);
    EXPECT_EQ(getFileMd5(at("missing")), empty_md5);
    EXPECT_THROW(getFileMd5(dir_.path()), FileError);
    EXPECT_EQ(get_file_size(abc), 3);
    EXPECT_EQ(get_file_size(at("missing")), 0);
    EXPECT_EQ(get_file_data(at("missing")), at("missing") + "  (mtime 0) size 0");
    std::string data = get_file_data(abc);
    EXPECT_EQ(data.size(), abc.size() + 36) << data;  // "  (mtime " + 19 + ") size 3"
    EXPECT_TRUE(ends_with(data, ") size 3")) << data;
    EXPECT_EQ(get_file_mtime(abc).substr(abc.size(), 9), "  (mtime ");
}

TEST_F(OnDisk, SaveVersionStopsAtTheFirstMatchingLine) {
    std::string big(3 << 20, 'x');  // a long first line that spans blocks
    std::string hip =
        make("s.hip",
             big + "\nset -g _HIP_SAVEVERSION = '20.0.547'\r\nset -g _HIP_SAVEVERSION = '1.0'\n");
    EXPECT_EQ(get_file_save_ver(hip), "20.0.547");
    EXPECT_EQ(get_hipVersion(hip), "20.0");
    std::string none = make("n.hip", "set -g HIP = '/x'\n");
    EXPECT_EQ(get_file_save_ver(none), std::nullopt);
    EXPECT_THROW(get_hipVersion(none), FileError);
    EXPECT_THROW(get_file_save_ver(at("missing.hip")), FileError);
    std::string gbk = make("g.hip", "set -g _HIP_SAVEVERSION = '19.5.303' " + kGbkChinese + "\n");
    EXPECT_EQ(get_file_save_ver(gbk), "19.5.303' " + kUtf8Chinese);
}

TEST(Exclusions, UnavailablePathsAndAssetLibraries) {
    std::vector<std::string> prefixes{"C:/Users/Public/"};
    EXPECT_EQ(search_unavailable_path("c:/users/public/tex/a.exr", prefixes),
              "c:/users/public/tex/a.exr");
    EXPECT_EQ(search_unavailable_path("C:/Users/Public/tex/a.exr", prefixes), std::nullopt);
    EXPECT_EQ(prefixes[0], "c:/users/public/");

    auto kept =
        filter_excluded_paths({std::string("C:/hfs/houdini")},
                              {"C:/hfs/houdini/otls/a.hda", "C:/hfs/houdini_extra/otls/b.hda",
                               "C:/hfs/houdini_extra/otls/b.hda", "D:/show/c.hda"},
                              kWindows);
    EXPECT_EQ(kept.second,
              (std::vector<std::string>{"C:/hfs/houdini_extra/otls/b.hda", "D:/show/c.hda"}));
    EXPECT_EQ(kept.first, (std::vector<std::string>{"C:/hfs/houdini_extra/otls", "D:/show"}));
    auto none = filter_excluded_paths({std::string("/opt/hfs")}, {}, kPosix);
    EXPECT_TRUE(none.first.empty() && none.second.empty());
    EXPECT_THROW(filter_excluded_paths({std::nullopt}, {"/a/b.hda"}, kPosix), Error);

    auto entries = filter_otls_path(
        Environment::of(
            {{"HOUDINI_PATH", "a;b"}, {"PXR_PLUGINPATH_NAME", "p;a"}, {"HH", "/opt/hfs"}}),
        kWindows);
    EXPECT_EQ(entries, (std::vector<std::optional<std::string>>{"p", "a", "b", "/opt/hfs"}));
    EXPECT_EQ(filter_otls_path(Environment::of({{"HOUDINI_PATH", "/x:/x"}}), kPosix),
              (std::vector<std::optional<std::string>>{"/x", std::nullopt}));
}

TEST_F(OnDisk, TextureCounterparts) {
    std::string a = make("tex/a.exr");
    make("tex/a.exr.rat");
    make("tex/a.tx");
    std::vector<std::string> prefixes{"C:/Users/Public/"};
    EXPECT_EQ(check_tx_exists(a, "", prefixes, Fresh(), kPosix).first,
              (std::vector<std::string>{a + ".rat", at("tex/a.tx"), a}));
    std::string b = make("tex/b.exr");
    make("tex/b_linear.exr.tx");
    EXPECT_EQ(check_tx_exists(b, "", prefixes, Fresh(), kPosix).first,
              (std::vector<std::string>{at("tex/b_linear.exr.tx"), b}));
    std::string upper = make("tex/c.EXR");
    make("tex/c.tx");
    EXPECT_EQ(check_tx_exists(upper, "", prefixes, Fresh(), kPosix).first,
              (std::vector<std::string>{upper}));
    std::string tx = make("tex/d.tx");
    make("tex/d.tx.rat");
    EXPECT_EQ(check_tx_exists(tx, "", prefixes, Fresh(), kPosix).first,
              (std::vector<std::string>{tx + ".rat", tx}));
    // Under the installation directory no counterparts are searched.
    EXPECT_EQ(check_tx_exists(a, at("tex"), prefixes, Fresh(), kPosix).first,
              (std::vector<std::string>{a}));
    EXPECT_EQ(check_tx_exists(a, at("te"), prefixes, Fresh(), kPosix).first.size(), 3u);
    // A converted texture whose name differs in case is found where names compare without
    // case, and only there; a directory without converted textures gives none.
    std::string e = make("cased/e.exr");
    make("cased/e_acescg.EXR.TX");
    EXPECT_EQ(check_tx_exists(e, "", prefixes, Fresh(), kWindows).first,
              (std::vector<std::string>{at("cased") + "\\e_acescg.EXR.TX", e}));
    EXPECT_EQ(check_tx_exists(e, "", prefixes, Fresh(), kPosix).first,
              (std::vector<std::string>{e}));
    std::string plate = make("plates/p.1001.exr");
    make("plates/p.1001_x.exr.rat");
    EXPECT_EQ(check_tx_exists(plate, "", prefixes, Fresh(), kPosix).first,
              (std::vector<std::string>{plate}));
    auto guarded = check_tx_exists("c:/Users/Public/a.exr", "", prefixes, Fresh(), kWindows);
    EXPECT_EQ(guarded.second, (std::vector<std::string>{"C:/Users/Public/a.exr"}));
    EXPECT_EQ(prefixes[0], "c:/users/public/");
}

TEST_F(OnDisk, ParallelSearchCollectsEveryTexture) {
    std::vector<std::string> textures{"tex/relative.exr"};
    for (int i = 0; i < 50; ++i) {
        textures.push_back(make("tex/t" + std::to_string(i) + ".exr"));
        if (i % 2 == 0) make("tex/t" + std::to_string(i) + ".tx");
    }
    std::vector<std::string> prefixes{at("TEX/T1").substr(0, at("").size()) + "tex/t1"};
    auto [found, guarded] =
        find_tx_counterparts_parallel(textures, "", prefixes, 4, Fresh(), native_flavour());
    EXPECT_EQ(found.size(), 75u);
    EXPECT_EQ(guarded.size(), 11u);  // t1 and t10..t19
    auto [none, none_guarded] =
        find_tx_counterparts_parallel({"tex/a.exr"}, "", prefixes, 10, Fresh(), kPosix);
    EXPECT_TRUE(none.empty() && none_guarded.empty());
}

TEST_F(OnDisk, CounterpartsSearchedAheadAreThoseSearchedInTurnAndAreTaken) {
    std::string plain = make("tex/plain.exr"), converted = make("tex/conv.exr");
    make("tex/conv.tx");
    std::string rat = make("tex/r.exr");
    make("tex/r.exr.rat");
    std::string guarded = make("guard/g.exr"), installed = make("hh/i.exr");
    make("hh/i.tx");
    std::vector<std::string> nested{make("tex/nested.exr"), "tex/relative.exr"};
    TextList first(std::vector<std::string>{plain, converted, "rel/r.exr"});
    TextList second(std::vector<std::string>{rat, guarded, installed, plain});
    const Flavour f = native_flavour();
    const std::vector<std::string> prefixes{at("GUARD/")};
    // The nested files, then the parameters' files the search ahead did not reach.
    auto in_turn = [&](DirCache& listings, CounterpartsAhead* ahead) {
        std::vector<std::string> candidates = nested;
        size_t skip = ahead ? ahead->searched() : 0;
        for (const TextList* list : {&first, &second})
            for (std::string_view path : *list)
                if (skip > 0) {
                    --skip;
                } else {
                    candidates.emplace_back(path);
                }
        std::vector<std::string> lowered = prefixes;
        return find_tx_counterparts_parallel(candidates, at("hh"), lowered, 2, listings, f, ahead,
                                             nested.size());
    };
    DirCache listings;
    const TxResult expected = in_turn(Fresh(), nullptr);
    EXPECT_EQ(expected.second, (std::vector<std::string>{slashes_forward(guarded)}));
    ASSERT_EQ(expected.first.size(), 9u);  // two counterparts, the relative paths left out

    // Searched to the end: the same results, and those are the search's own. The converted
    // texture is gone when the other paths are searched, and its result still names it.
    CounterpartsAhead whole({&first, &second}, at("hh"), prefixes, f);
    std::atomic<bool> leave{false};
    whole.search(listings, leave);
    EXPECT_EQ(whole.searched(), 7u);
    // The counterparts found, and only those, are kept for their facts.
    std::vector<std::string> found(whole.found().begin(), whole.found().end());
    EXPECT_EQ(found, (std::vector<std::string>{slashes_forward(at("tex/conv.tx")),
                                               slashes_forward(at("tex/r.exr.rat"))}));
    std::filesystem::remove(at("tex/conv.tx"));
    EXPECT_EQ(in_turn(Fresh(), &whole), expected);
    // Left before it began: every path is searched in turn, and the texture is gone.
    CounterpartsAhead left({&first, &second}, at("hh"), prefixes, f);
    leave = true;
    left.search(listings, leave);
    EXPECT_EQ(left.searched(), 0u);
    const TxResult gone = in_turn(Fresh(), nullptr);
    EXPECT_EQ(gone.first.size(), 8u);
    EXPECT_EQ(in_turn(Fresh(), &left), gone);
    // Left part of the way, after the first list: the rest is searched in turn, after the
    // search's own results and before nothing else.
    make("tex/conv.tx");
    CounterpartsAhead part({&first}, at("hh"), prefixes, f);
    leave = false;
    part.search(listings, leave);
    EXPECT_EQ(part.searched(), 3u);
    std::filesystem::remove(at("tex/conv.tx"));
    EXPECT_EQ(in_turn(Fresh(), &part), expected);
    // A drive letter is named in upper case, taken from the search or searched in turn.
    TextList drive(std::vector<std::string>{"d:\\tex\\a.exr"});
    CounterpartsAhead windows({&drive}, "", {}, kWindows);
    windows.search(listings, leave);
    std::vector<std::string> none;
    EXPECT_EQ(find_tx_counterparts_parallel({}, "", none, 1, listings, kWindows, &windows, 0).first,
              (std::vector<std::string>{"D:/tex/a.exr"}));
    EXPECT_EQ(
        find_tx_counterparts_parallel({"d:\\tex\\a.exr"}, "", none, 1, listings, kWindows).first,
        (std::vector<std::string>{"D:/tex/a.exr"}));
}

TEST(Seam, OnlyRegularFilesAreOpenedForReading) {
    TempDir dir;
    std::string why;
    std::FILE* file = os::open_regular(dir.write("a.txt", "a"), &why);
    ASSERT_NE(file, nullptr) << why;
    std::fclose(file);
    EXPECT_EQ(os::open_regular(dir.path(), &why), nullptr);
    EXPECT_EQ(why, "it is a directory");
#ifndef _WIN32
    // A FIFO named like a scene file is refused at once (nobody writes to it), and so is a device.
    std::string fifo = dir.file("pipe.ass");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(os::open_regular(fifo, &why), nullptr);
    EXPECT_EQ(why, "it is not a regular file");
    EXPECT_EQ(os::open_regular("/dev/zero", &why), nullptr);
    EXPECT_THROW(read_json_file(fifo), FileError);
#endif
}

TEST(Seam, LinesLongerThanWhatIsKeptAreCutAndTheNextLinesStillRead) {
    TempDir dir;
    std::string path = dir.write("a.txt", "short\n" + std::string(100, 'x') + "\nafter\nlast");
    LineReader in(open_for_reading(path), 10);
    std::string line;
    std::vector<std::pair<std::string, bool>> read;
    while (in.next(line)) read.emplace_back(line, in.cut());
    EXPECT_EQ(read,
              (std::vector<std::pair<std::string, bool>>{
                  {"short", false}, {"xxxxxxxxxx", true}, {"after", false}, {"last", false}}));
}

TEST_F(OnDisk, WildcardExpansionIsBoundedInDepthAndInWhatItLists) {
    Fresh listings;
    std::string told;
    people::set_sink({[&](std::string_view text) { told += text; }, false});
    std::string deep = dir_.path() + "/nowhere";
    for (int i = 0; i < 65; ++i) deep += "/*";
    EXPECT_TRUE(glob(deep, listings, native_flavour()).empty());
    EXPECT_NE(told.find("has more than 64 components with wildcards"), std::string::npos) << told;
    std::string shallow = dir_.path() + "/nowhere";
    for (int i = 0; i < 64; ++i) shallow += "/*";
    EXPECT_TRUE(glob(shallow, listings, native_flavour()).empty());
#ifndef _WIN32
    // Links back to their own folder: eight names, each the folder again, level after level.
    dir_.write("loop/x.png", "x");
    for (char name = 'a'; name < 'i'; ++name)
        std::filesystem::create_directory_symlink(".", dir_.file(std::string("loop/") + name));
    EXPECT_EQ(glob(dir_.file("loop/*/*/x.png"), listings, native_flavour()).size(), 64u);
    EXPECT_TRUE(glob(dir_.file("loop/*/*/*/*/*/*/*/x.png"), listings, native_flavour()).empty());
    EXPECT_NE(told.find("lists more than 100000 directories"), std::string::npos) << told;
#endif
    people::reset_sink();
}

TEST_F(OnDisk, AConfinedCacheListsAndStatesOnlyBelowItsRoots) {
    make("show/tex/a.png");
    make("show2/b.png");  // a sibling whose name begins with the root's
    make("farm/secret.txt", "secret");
    auto confinement = Confinement::from_lists(" " + at("show") + " ,", "ALLOWED");
    EXPECT_TRUE(confinement->admits_variable("ALLOWED"));
    EXPECT_TRUE(confinement->admits_variable("HOUDINI_PATH"));
    EXPECT_FALSE(confinement->admits_variable("SECRET_TOKEN"));
    DirCache listings;
    listings.confine(confinement);
    EXPECT_TRUE(listings.exists(at("show/tex/a.png")));
    EXPECT_FALSE(listings.exists(at("show2/b.png")));
    EXPECT_FALSE(listings.exists(at("farm/secret.txt")));
    EXPECT_FALSE(listings.facts(at("farm/secret.txt")).readable());
    EXPECT_TRUE(glob(at("farm/*"), listings, native_flavour()).empty());
#ifndef _WIN32
    std::filesystem::create_symlink(at("farm/secret.txt"), at("show/link.png"));
    std::filesystem::create_directory_symlink(at("farm"), at("show/farm"));
    EXPECT_FALSE(listings.exists(at("show/link.png")));
    EXPECT_FALSE(listings.exists(at("show/farm/secret.txt")));
#endif
    std::vector<std::string> refused = listings.refused();
    for (const char* named : {"show2/b.png", "farm/secret.txt", "farm"})
        EXPECT_NE(std::find(refused.begin(), refused.end(), at(named)), refused.end()) << named;
    // Roots that do not exist admit nothing.
    EXPECT_FALSE(Confinement::from_lists(at("nowhere"), "")->admits_real(at("show/tex/a.png")));
}

TEST(Numbers, TextReadsAsTheInterpretersIntAndFloatReadIt) {
    EXPECT_EQ(int_of_text("1"), 1);
    EXPECT_EQ(int_of_text(" 2 \n"), 2);
    EXPECT_EQ(int_of_text("-007"), -7);
    EXPECT_EQ(int_of_text("+1_000"), 1000);
    for (const char* bad : {"", " ", "3.5", "1e3", "0x10", "1__0", "_1", "1_", "- 1", "one", "1 2",
                            "99999999999999999999"})
        EXPECT_FALSE(int_of_text(bad).has_value()) << bad;

    EXPECT_EQ(float_of_text("3.5"), 3.5);
    EXPECT_EQ(float_of_text(" -2 "), -2.0);
    EXPECT_EQ(float_of_text(".5"), 0.5);
    EXPECT_EQ(float_of_text("5."), 5.0);
    EXPECT_EQ(float_of_text("1_0.2_5e1_0"), 10.25e10);
    EXPECT_EQ(float_of_text("1E-3"), 1e-3);
    EXPECT_TRUE(std::isinf(*float_of_text("-Infinity")));
    EXPECT_TRUE(std::isinf(*float_of_text("1e999")));
    EXPECT_TRUE(std::isnan(*float_of_text("NaN")));
    for (const char* bad : {"", ".", "e5", "1e", "1.2.3", "1,5", "inf5", "0x1p3", "--1", "1_.5"})
        EXPECT_FALSE(float_of_text(bad).has_value()) << bad;
}

TEST(Numbers, AValueSavedAsTextIsItsNumberOrANamedError) {
    EXPECT_EQ(Value::text("1").as_int(), 1);
    EXPECT_EQ(Value::text(" 3.5 ").as_float(), 3.5);
    EXPECT_EQ(Value::real(2.9).as_int(), 2);
    try {
        (void)Value::text("CUDA").as_int();
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.type_name(), "ValueError");
        EXPECT_STREQ(e.what(), "invalid literal for int() with base 10: 'CUDA'");
    }
    try {
        (void)Value::text("3.5x").as_float();
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "could not convert string to float: '3.5x'");
    }
}

}  // namespace
}  // namespace scanflow
