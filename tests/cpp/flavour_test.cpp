#include <gtest/gtest.h>

#include "base/text.h"
#include "util/flavour.h"

namespace scanflow {
namespace {

const Flavour kPosix{false};
const Flavour kWindows{true};

TEST(Flavour, NormpathPosix) {
    EXPECT_EQ(normpath("", kPosix), ".");
    EXPECT_EQ(normpath("a//b/./c/..", kPosix), "a/b");
    EXPECT_EQ(normpath("//host/share/../x", kPosix), "//host/x");
    EXPECT_EQ(normpath("///a", kPosix), "/a");
    EXPECT_EQ(normpath("/../a", kPosix), "/a");
    EXPECT_EQ(normpath("../a/../../b", kPosix), "../../b");
    EXPECT_EQ(normpath("d:\\proj\\..\\tex", kPosix), "d:\\proj\\..\\tex");
}

TEST(Flavour, NormpathWindows) {
    EXPECT_EQ(normpath("d:\\proj\\..\\tex\\a.exr", kWindows), "d:\\tex\\a.exr");
    EXPECT_EQ(normpath("//host/share/a/./b", kWindows), "\\\\host\\share\\a\\b");
    EXPECT_EQ(normpath("C:/a//b/", kWindows), "C:\\a\\b");
    EXPECT_EQ(normpath("C:/../a", kWindows), "C:\\a");
    EXPECT_EQ(normpath("..\\a", kWindows), "..\\a");
    EXPECT_EQ(normpath("\\\\?\\c:\\x\\..", kWindows), "\\\\?\\c:\\x\\..");
    EXPECT_EQ(normpath("", kWindows), ".");
}

TEST(Flavour, SplitsAndJoins) {
    EXPECT_EQ(splitdrive("//host/share/a", kWindows),
              (std::pair<std::string, std::string>{"//host/share", "/a"}));
    EXPECT_EQ(splitdrive("c:/a", kWindows), (std::pair<std::string, std::string>{"c:", "/a"}));
    EXPECT_EQ(splitdrive("c:/a", kPosix), (std::pair<std::string, std::string>{"", "c:/a"}));
    EXPECT_EQ(splitext("a/b.c/d", kPosix).second, "");
    EXPECT_EQ(splitext("a/.hidden", kPosix).second, "");
    EXPECT_EQ(splitext("a/..x.tex", kPosix),
              (std::pair<std::string, std::string>{"a/..x", ".tex"}));
    EXPECT_EQ(splitext("C:\\t.d\\wall", kWindows).second, "");
    EXPECT_EQ(dirname("C:\\a\\b.hda", kWindows), "C:\\a");
    EXPECT_EQ(dirname("/a/b/c.hda", kPosix), "/a/b");
    EXPECT_EQ(dirname("/x", kPosix), "/");
    EXPECT_TRUE(isabs("C:/tex/a.exr", kWindows));
    EXPECT_FALSE(isabs("C:/tex/a.exr", kPosix));
    EXPECT_FALSE(isabs("C:tex", kWindows));
    EXPECT_TRUE(isabs("\\tex", kWindows));
    EXPECT_EQ(join("C:", "a", kWindows), "C:a");
    EXPECT_EQ(join("C:\\x", "a", kWindows), "C:\\x\\a");
    EXPECT_EQ(join("/x/", "a", kPosix), "/x/a");
    EXPECT_EQ(join("/x", "/a", kPosix), "/a");
    EXPECT_EQ(char_count("路径/a"), 4u);
}

}  // namespace
}  // namespace scanflow

namespace scanflow {
namespace {

TEST(Flavour, RelativePathsBecomeAbsoluteAgainstTheWorkingDirectory) {
    for (const char* typed : {"shot.hip", "./shot.hip", "../demo/shot.hip", "x/../shot.hip"})
        EXPECT_EQ(absolute(typed, "/jobs/demo", kPosix), "/jobs/demo/shot.hip") << typed;
    // What was typed in full stays as typed.
    EXPECT_EQ(absolute("/jobs/../demo/shot.hip", "/elsewhere", kPosix), "/jobs/../demo/shot.hip");
    EXPECT_EQ(absolute("", "/jobs", kPosix), "");
    EXPECT_EQ(absolute("..\\demo\\shot.hip", "C:\\jobs\\demo", kWindows),
              "C:\\jobs\\demo\\shot.hip");
    EXPECT_EQ(absolute("shot.hip", "\\\\srv\\share\\demo", kWindows),
              "\\\\srv\\share\\demo\\shot.hip");
    EXPECT_EQ(absolute("D:/proj/shot.hip", "C:\\jobs", kWindows), "D:/proj/shot.hip");
}

TEST(Text, RepeatsGoAndFirstOccurrencesKeepTheirOrder) {
    std::vector<std::string> items{
        "b", "a", "b", "c", "a", std::string(40, 'x'), "c", std::string(40, 'x')};
    std::vector<std::string> expected{"b", "a", "c", std::string(40, 'x')};
    EXPECT_EQ(distinct(items), expected);
    keep_first_occurrences(items);
    EXPECT_EQ(items, expected);
    std::vector<std::string> unique{"only", "once"};
    keep_first_occurrences(unique);  // nothing moves onto itself
    EXPECT_EQ(unique, (std::vector<std::string>{"only", "once"}));
    std::vector<std::string> empties{"", "a", "", "a"};
    EXPECT_EQ(distinct(empties), (std::vector<std::string>{"", "a"}));
}

TEST(Text, SeenPositionsGrowPastWhatWasExpected) {
    std::vector<std::string> texts;
    for (int i = 0; i < 5000; ++i) texts.push_back("/show/tex/" + std::to_string(i) + ".exr");
    texts.push_back("");
    std::vector<std::string> again = texts;
    texts.insert(texts.end(), again.begin(), again.end());  // every text twice
    SeenPositions seen(0, [&](size_t i) -> std::string_view { return texts[i]; });
    for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(seen.insert(i), i < 5001) << i;
}

}  // namespace
}  // namespace scanflow
