#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>

#include "drivers/scene_driver.h"
#include "nested/ass_reader.h"
#include "nested/geo_cache.h"
#include "nested/read_ahead.h"
#include "nested/recursive.h"
#include "test_support.h"

namespace scanflow {
namespace {

using testing::ConsoleCapture;
using testing::gzip;
using testing::TempDir;

std::string data(const std::string& rel) {
    return std::string(SCANFLOW_TEST_DATA) + "/" + rel;
}

TEST(AssReader, NodesThatNameFilesInRealScenes) {
    EXPECT_EQ(read_ass_file_names(data("ass/test_0110_procedural_standins.ass")),
              (std::vector<std::string>{"shape.ass", "shader.ass"}));
    EXPECT_EQ(read_ass_file_names(data("ass/test_0117_alembic_procs.ass")),
              (std::vector<std::string>{"Bottle.abc"}));
    EXPECT_EQ(read_ass_file_names(data("ass/test_0081_b85_image_displacement.ass")),
              (std::vector<std::string>{"ocean.tx"}));
    // Multi-line strings holding braces and '#'; usd and volume nodes are not among the kinds read.
    EXPECT_TRUE(read_ass_file_names(data("ass/test_0017_usd_multiline_string_array.ass")).empty());
    EXPECT_TRUE(read_ass_file_names(data("ass/test_17642_volume_vdb.ass")).empty());
}

TEST(AssReader, GzipCommentsAndQuotedBraces) {
    TempDir dir;
    std::string text =
        "### from: exporter\nimage\n{\n name img # a comment { not a brace\n filename \"C:\\tex\\a "
        "{1}.tx\"\n}\n"
        "polymesh\n{\n name p\n vlist 2 1 b85VECTOR\n!!!!!$$$$$\n filename \"ignored.exr\"\n}\n"
        "MayaFile { name m filename \"\" }\nprocedural\n{\n filename shape.ass\n}\n";
    std::string plain = dir.write("a.ass", text);
    std::string zipped = dir.write("a.ass.gz", gzip(text));
    auto expected = std::vector<std::string>{"C:\\tex\\a {1}.tx", "shape.ass"};
    EXPECT_EQ(read_ass_file_names(plain), expected);
    EXPECT_EQ(read_ass_file_names(zipped), expected);
    std::string broken = dir.write("b.ass", "image\n{\n filename \"unterminated\n");
    EXPECT_THROW(read_ass_file_names(broken), ParseError);
    std::string truncated = dir.write("c.ass.gz", gzip(text).substr(0, 30));
    EXPECT_THROW(read_ass_file_names(truncated), Error);
}

TEST(GeometryCaches, FileListsInBothEncodings) {
    // The real caches name no file lists; both encodings parse to their end.
    for (const char* name :
         {"laika_packed_disk", "laika_pack_fragments2_16_5", "laika_packed_disk_frames_16_5"}) {
        EXPECT_TRUE(geometry_file_lists(data(std::string("geo/") + name + ".geo")).empty()) << name;
        EXPECT_TRUE(geometry_file_lists(data(std::string("geo/") + name + ".bgeo")).empty())
            << name;
    }
    std::string ascii =
        R"(["fileversion","19.5",{"filenames":"[\"a.bgeo\",c:\\tex\\b.tx]","other":1},
                           ["filenames","[not,a,map]"]])";
    EXPECT_EQ(geometry_file_lists_from(ascii, "x.geo"),
              (std::vector<std::string>{"a.bgeo", "c:/tex/b.tx"}));
    // Binary: a map whose key is a defined token, referenced later; its value a plain string.
    std::string binary("\x7fNSJb", 5);
    auto bytes = [&](std::initializer_list<int> b) {
        for (int c : b) binary.push_back(static_cast<char>(c));
    };
    bytes({0x2b, 0x00, 0x09});
    binary += "filenames";
    bytes({0x7b, 0x26, 0x00, 0x27, 0x0a});
    binary += "[x.bgeo,y]";
    bytes({0x27, 0x01, 'n', 0x40, 0x13, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0x7d});
    EXPECT_EQ(geometry_file_lists_from(binary, "x.bgeo"),
              (std::vector<std::string>{"x.bgeo", "y"}));
    EXPECT_THROW(geometry_file_lists_from(binary.substr(0, binary.size() - 5), "x.bgeo"),
                 ParseError);
    EXPECT_THROW(geometry_file_lists_from("not json", "x.geo"), ParseError);
}

class Nested : public ::testing::Test {
protected:
    void SetUp() override {
        dir_.write("out/task.json", testing::kTaskJson);
        on_path("");
    }
    // A fresh analysis on a machine whose executable search path is `path`.
    void on_path(const std::string& path) {
        module_.environment = Environment::of({{"HH", "/opt/hfs"}, {"PATH", path}});
        RunParameters params;
        params.set("hip_file", dir_.file("shot.hip"));
        params.set("path_json", dir_.file("out"));
        driver_ = std::make_unique<AnalysisHipAssets>(module_.services(), params);
    }
    TempDir dir_;
    ConsoleCapture capture_;
    testing::TestModule module_;
    std::unique_ptr<AnalysisHipAssets> driver_;
};

TEST_F(Nested, ArnoldScenesAreFollowedThroughSequencesOnce) {
    dir_.write("tex/wood.tx", "t");
    dir_.write("tex/wood.png", "p");
    dir_.write("vol/smoke.0001.vdb", "v");
    dir_.write("vol/smoke.0002.vdb", "v");
    std::string abs_missing = dir_.file("abs/gone.tx");
    dir_.write("abs/gone.exr", "e");
    dir_.write("cache/part_0001.ass", "image\n{\n filename ../tex/wood.tx\n}\n");
    dir_.write("cache/part_0002.ass", "image\n{\n filename ../vol/smoke.0001.vdb\n}\n");
    std::string top =
        dir_.write("scene.ass",
                   "image\n{\n filename tex/wood.tx\n}\nimage\n{\n filename missing/rel.tx\n}\n"
                   "image\n{\n filename " +
                       abs_missing +
                       "\n}\n"
                       "procedural\n{\n filename cache/part_0001.ass\n}\n");
    auto found = testing::forward_on_windows(driver_->ass_usd_usda_asset(top));
    std::vector<std::string> expected{
        dir_.file("tex/wood.tx"), dir_.file("tex/wood.png"), dir_.file("tex/wood.tx"),  // widened
        dir_.file("missing/rel.tx"),             // listed alone
        abs_missing, dir_.file("abs/gone.exr"),  // widened though missing
        dir_.file("cache/part_0001.ass"),
        // the sequence's members, each analysed once
        dir_.file("tex/wood.tx"), dir_.file("tex/wood.png"), dir_.file("tex/wood.tx"),
        dir_.file("vol/smoke.0001.vdb"), dir_.file("vol/smoke.0001.vdb"),
        dir_.file("vol/smoke.0002.vdb")};
    ASSERT_EQ(found.size(), expected.size());
    EXPECT_EQ(found[3], dir_.file("missing/rel.tx"));
    EXPECT_EQ(found[6], dir_.file("cache/part_0001.ass"));
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);
    EXPECT_TRUE(driver_->ass_usd_usda_asset(top).empty());  // visited once per run
}

// A file named again once it was read adds nothing, unless its name reads as a pattern: then
// the files the pattern matches are read too, as the first time it is named.
TEST_F(Nested, AFileNamedAgainIsReadOnceAndItsPatternStillMatches) {
    dir_.write("s/xa.ass", "image\n{\n filename matched.tx\n}\n");
    dir_.write("s/child.ass", "procedural\n{\n filename x[a].ass\n}\n");
    std::string top = dir_.write("s/x[a].ass", "procedural\n{\n filename child.ass\n}\n");
    auto found = testing::forward_on_windows(driver_->ass_usd_usda_asset(top));
    auto named = [&](const std::string& name) {
        return std::count(found.begin(), found.end(), dir_.file(name));
    };
    EXPECT_EQ(named("s/child.ass"), 1);
    EXPECT_EQ(named("s/x[a].ass"), 1);
    EXPECT_EQ(named("s/matched.tx"), 1) << Json(found).dump();
}

// A caller that keeps each file once is given each existing file at its first naming only; a
// missing name, which may stand for a sequence, is given every time.
TEST_F(Nested, FilesNamedAgainCanBeGivenOnceAtTheirFirstNaming) {
    dir_.write("tex/a.tx", "a");
    dir_.write("tex/a.png", "a");
    dir_.write("lower.ass", "image\n{\n filename tex/a.tx\n}\nimage\n{\n filename gone.exr\n}\n");
    std::string top =
        dir_.write("top.ass",
                   "image\n{\n filename tex/a.tx\n}\nprocedural\n{\n filename lower.ass\n}\n"
                   "image\n{\n filename gone.exr\n}\nprocedural\n{\n filename lower.ass\n}\n");
    Services services = module_.services();
    auto walk = [&](Repeats repeats) {
        RunContext run;
        DirCache listings;
        NestedInputs in{run,           services.module,      nullptr,  services.arnold,
                        services.host, services.environment, listings, native_flavour()};
        return testing::forward_on_windows(ass_usd_usda_asset(top, in, repeats));
    };
    std::vector<std::string> listed = walk(Repeats::Listed), once = walk(Repeats::FilesOnce);
    // What a caller keeping each file once makes of either: the same.
    auto kept = [](const std::vector<std::string>& names) {
        std::vector<std::string> out;
        std::set<std::string> files;
        for (const auto& name : names)
            if (!os::is_file(name) || files.insert(name).second) out.push_back(name);
        return out;
    };
    EXPECT_EQ(kept(once), kept(listed));
    EXPECT_LT(once.size(), listed.size());
    EXPECT_EQ(std::count(once.begin(), once.end(), dir_.file("gone.exr")),
              std::count(listed.begin(), listed.end(), dir_.file("gone.exr")));
}

TEST_F(Nested, ProxiesAndSequencesNamedByNestedFilesAreSortedIntoPresentAndMissing) {
    dir_.write("p/tex/r.exr", "r");
    dir_.write("tex/wall.1002.exr", "w");
    // A proxy names its files in its bytes, relative to its own folder.
    std::string proxy = dir_.write(
        "p/a.rs", "x" + std::string(1, '\0') + "./tex/r.exr" + '\0' + "./tex/lost.exr" + '\0');
    std::string scene =
        dir_.write("p/s.ass", "image\n{\n filename " + dir_.file("tex/wall.<udim>.exr") + "\n}\n");
    on_path(dir_.file("nobin"));  // no Redshift tool: the proxy's bytes are read
    UploadLists lists = driver_->all_upload_list({proxy, scene});
    auto present = testing::forward_on_windows(lists.present);
    EXPECT_TRUE(std::count(present.begin(), present.end(), dir_.file("p/tex/r.exr")))
        << Json(present).dump();
    // A tile token stands for the tiles that are there.
    EXPECT_TRUE(std::count(present.begin(), present.end(), dir_.file("tex/wall.1002.exr")));
    EXPECT_EQ(testing::forward_on_windows(lists.missing),
              std::vector<std::string>{dir_.file("p/tex/lost.exr")});
}

TEST_F(Nested, EachNestedFileIsReadOncePerRunAndOnWindowsWhateverItsCase) {
    std::string cache =
        dir_.write("geo/disk.bgeo", R"(["fileversion","19.5",{"filenames":"[/c/a.exr]"}])");
    EXPECT_FALSE(driver_->get_bgeo_asset(cache).empty());
    EXPECT_TRUE(driver_->get_bgeo_asset(cache).empty());  // read already in this run
    // A converted texture a cache names stands also for the textures it was converted from.
    std::string png = dir_.write("tex/wood.png", "p");
    std::string textured =
        dir_.write("geo/textured.bgeo", R"(["fileversion","19.5",{"filenames":"[)" +
                                            dir_.file("tex/wood.tx") + R"(]"}])");
    auto names = testing::forward_on_windows(driver_->get_bgeo_asset(textured));
    EXPECT_TRUE(std::count(names.begin(), names.end(), png)) << Json(names).dump();

    SKIP_ON_WINDOWS("two files whose names differ only in case");
    dir_.write("a/part.ass", "image\n{\n filename lower.tx\n}\n");
    dir_.write("a/PART.ass", "image\n{\n filename upper.tx\n}\n");
    std::string top = dir_.write("a/top.ass",
                                 "procedural\n{\n filename part.ass\n}\n"
                                 "procedural\n{\n filename PART.ass\n}\n");
    module_.state.IS_WIN = true;  // names compare without case, as on Windows
    auto found = driver_->ass_usd_usda_asset(top);
    module_.state.IS_WIN = false;
    auto named = [&](const char* name) {
        return std::count_if(found.begin(), found.end(), [&](const std::string& p) {
            return p.find(name) != std::string::npos;
        });
    };
    EXPECT_GT(named("lower.tx"), 0);
    EXPECT_EQ(named("upper.tx"), 0) << Json(found).dump();
}

TEST_F(Nested, VrayScenesAndImageLists) {
    dir_.write("v/tex/a.exr", "a");
    dir_.write("v/seq/f1.exr", "1");
    dir_.write("v/seq/list.ifl", "f1.exr\nf2.exr\n");
    std::string scene =
        dir_.write("v/s.vrscene",
                   "BitmapBuffer b {\n  file=\"tex/a.exr\";\n\tfile=\"seq/list.ifl\";\n"
                   "  File=\"ignored.exr\";\n  cache_path=\"//srv/a.vdb;;//srv/b.vdb\";\n}\n");
    EXPECT_EQ(
        testing::forward_on_windows(driver_->read_in_vrscene(scene)),
        (std::vector<std::string>{dir_.file("v/tex/a.exr"), dir_.file("v/seq/f1.exr"),
                                  dir_.file("v/seq/list.ifl"), "//srv/a.vdb", "//srv/b.vdb"}));
    std::string bad = dir_.write("v/bad.vrscene", "file=\"\xff\";\n");
    EXPECT_THROW(driver_->read_in_vrscene(bad), ParseError);
}

TEST_F(Nested, RedshiftProxiesFromTheToolOrTheirBytes) {
    const char proxy[] =
        "\0\x01"
        "C:\\tex\\WALL.EXR\0./vol/v.vdb\0.\\note.txt";
    dir_.write("rs/b.rs", std::string(proxy, sizeof proxy - 1));
    std::string top = dir_.write("rs/a.rs", std::string("header C:/rs/x.jpg\0./b.rs\0end\n", 27));
    std::string cwd = std::filesystem::current_path().string();
    std::filesystem::current_path(
        dir_.file("rs"));  // relative names are read from the working directory
    on_path(dir_.file("nobin"));
    auto found = driver_->get_file_from_rs_cmd(top);
    std::filesystem::current_path(cwd);
    EXPECT_EQ(found, (std::vector<std::string>{"C:/rs/x.jpg", "C:\\tex\\WALL.EXR", "./vol/v.vdb",
                                               "./b.rs"}));
    EXPECT_NE(capture_.text().find("cmdLine is not exists!"), std::string::npos);
    EXPECT_TRUE(driver_->get_file_from_rs_cmd(top).empty());

    SKIP_ON_WINDOWS("the tool is a shell script");
    // With the tool on the search path its listing counts, one dependency per line.
    std::string tool = dir_.write(
        "bin/redshiftCmdLine.exe",
        "#!/bin/sh\necho 'Texture paths:'\necho\necho '  C:/t/one.exr  '\necho \"$1|$2|\"\n");
    testing::make_executable(tool);
    on_path(dir_.file("bin"));
    std::string with_space = dir_.write("rs/with space.rs", "");
    std::vector<std::string> listed;
    try {
        listed = driver_->get_file_from_rs_cmd(with_space);
    } catch (const ExitRequest&) {
        ADD_FAILURE() << capture_.text();
    }
    EXPECT_EQ(listed,
              (std::vector<std::string>{"C:/t/one.exr", "-printdependencies|" + with_space + "|"}));
}

}  // namespace
}  // namespace scanflow

namespace scanflow {
namespace {

TEST(HostileInputs, DecompressionBombsAndEndlessTokensEndWithAnError) {
    testing::TempDir dir;
    // 80 MB of one letter: a token that never ends.
    std::string endless = dir.write(
        "endless.ass.gz", gzip("image\n{\n filename " + std::string(80u << 20, 'x'), Z_BEST_SPEED));
    EXPECT_THROW(read_ass_file_names(endless), ParseError);
    // Over a gigabyte of blanks from a megabyte or so: refused by its inflation ratio.
    std::string path = dir.write("bomb.ass.gz", gzip(std::string(1300u << 20, ' ')));
    try {
        read_ass_file_names(path);
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find("decompression bomb"), std::string::npos);
    }
}

}  // namespace
}  // namespace scanflow

#include <blosc.h>

namespace scanflow {
namespace {

std::string be64(uint64_t v) {
    std::string out(8, '\0');
    for (int i = 7; i >= 0; --i, v >>= 8) out[static_cast<size_t>(i)] = static_cast<char>(v & 0xff);
    return out;
}

TEST(GeometryCaches, CompressedContainersStreamChunkByChunk) {
    EXPECT_TRUE(
        geometry_file_lists(data("geo/gdt_delete_small_parts_demoscene.1.bgeo.sc")).empty());
    std::string geo = R"(["fileversion","19.5",{"filenames":"[/c/a.bgeo,/c/b.exr]"}])";
    // Two chunks, as the host writes them: the first a full block, the second the rest.
    std::string padded = std::string(100, ' ') + geo;
    std::string first = padded.substr(0, 64), second = padded.substr(64);
    auto compress = [](const std::string& in) {
        std::string out(in.size() + BLOSC_MAX_OVERHEAD, '\0');
        int n = blosc_compress(5, 1, 1, in.size(), in.data(), out.data(), out.size());
        out.resize(static_cast<size_t>(n));
        return out;
    };
    std::string c1 = compress(first), c2 = compress(second);
    std::string file = "scf1" + std::string(8, '\0') + c1 + c2 + be64(c1.size()) + be64(64) +
                       be64(second.size()) + be64(24) + "1fcs";
    testing::TempDir dir;
    std::string path = dir.write("x.bgeo.sc", file);
    EXPECT_EQ(geometry_file_lists(path), (std::vector<std::string>{"/c/a.bgeo", "/c/b.exr"}));
    std::string cut = dir.write("cut.bgeo.sc", file.substr(0, 20) + file.substr(file.size() - 28));
    EXPECT_THROW(geometry_file_lists(cut), ParseError);
}

TEST(GeometryCaches, ManyEmptyChunksAreReadOneAfterTheOther) {
    auto compress = [](const std::string& in) {
        std::string out(in.size() + BLOSC_MAX_OVERHEAD, '\0');
        int n = blosc_compress(9, 1, 1, in.size(), in.data(), out.data(), out.size());
        out.resize(static_cast<size_t>(n));
        return out;
    };
    testing::TempDir dir;
    // 60,000 empty chunks before the geometry: read one after the other, not one call deeper
    // each, and none ends the stream.
    std::string empty = compress("");
    std::string many = "scf1" + std::string(8, '\0');
    for (int i = 0; i < 60000; ++i) many += empty;
    many += compress(R"(["fileversion","19.5",{"filenames":"[/c/a.bgeo,/c/b.exr]"}])");
    many += be64(0) + "1fcs";
    EXPECT_EQ(geometry_file_lists(dir.write("empty.bgeo.sc", many)),
              (std::vector<std::string>{"/c/a.bgeo", "/c/b.exr"}));
}

TEST(GeometryCaches, ACompressedContainerThatInflatesBeyondItsBudgetIsRefused) {
    // zstd chunks of 128 MB of ASCII numbers, each a few KB: a small file of gigabytes.
    // Without zstd (a Blosc built without it), no codec inflates beyond a few hundred times.
    if (blosc_set_compressor("zstd") < 0) GTEST_SKIP() << "this Blosc has no zstd codec";
    // "[0,0,...,0," each: the chunks read one after the other are a well-formed beginning.
    std::string numbers = "[";
    numbers.reserve(128u << 20);
    while (numbers.size() + 2 <= (128u << 20)) numbers += "0,";
    std::string chunk(numbers.size() + BLOSC_MAX_OVERHEAD, '\0');
    int n = blosc_compress(9, 0, 1, numbers.size(), numbers.data(), chunk.data(), chunk.size());
    blosc_set_compressor("blosclz");
    ASSERT_GT(n, 0);
    chunk.resize(static_cast<size_t>(n));
    ASSERT_LT(chunk.size(), 100'000u);
    std::string bomb = "scf1" + std::string(8, '\0');
    for (int i = 0; i < 8; ++i) bomb += chunk;
    bomb += be64(0) + "1fcs";
    testing::TempDir dir;
    try {
        geometry_file_lists(dir.write("bomb.bgeo.sc", bomb));
        ADD_FAILURE() << "1 GB inflated from " << bomb.size() << " bytes";
    } catch (const ParseError& e) {
        EXPECT_NE(std::string(e.what()).find("inflates beyond 1000 times its size"),
                  std::string::npos)
            << e.what();
    }
}

TEST(ReadAhead, NamesReadOnThePoolAreTakenOnceAndFailuresCarryTheAskingChain) {
    std::atomic<int> reads{0};
    {
        ReadAhead ahead(3);
        TraceFrame outer("all_upload_list");
        for (int i = 0; i < 40; ++i)
            ahead.submit(
                "ass:" + std::to_string(i),
                [i, &reads]() -> std::vector<std::string> {
                    ++reads;
                    if (i == 7) throw ParseError("/s/7.ass", 12, "expected { after node type x");
                    return {"/t/" + std::to_string(i) + ".exr"};
                },
                TraceFrame::current());
        ahead.submit("ass:0", [] { return std::vector<std::string>{"again"}; }, {});
        EXPECT_EQ(ahead.take("ass:never"), std::nullopt);
        for (int i = 39; i >= 0; --i) {
            if (i == 7) continue;
            auto names = ahead.take("ass:" + std::to_string(i));
            ASSERT_TRUE(names.has_value()) << i;
            EXPECT_EQ(*names, std::vector<std::string>{"/t/" + std::to_string(i) + ".exr"});
        }
        EXPECT_EQ(ahead.take("ass:3"), std::nullopt);  // taken already
        try {
            TraceFrame inner("elsewhere");
            ahead.take("ass:7");
            FAIL() << "the reader's failure was not raised";
        } catch (const ParseError& e) {
            EXPECT_EQ(e.frames(), std::vector<std::string>{"all_upload_list"});
        }
    }
    EXPECT_EQ(reads.load(), 40);  // each key read once, by a worker or by the taker
}

TEST(ReadAhead, WithoutWorkersNothingIsQueued) {
    ReadAhead alone(1);
    alone.submit("bgeo:/a", [] { return std::vector<std::string>{"/b"}; }, {});
    EXPECT_EQ(alone.take("bgeo:/a"), std::nullopt);
}

}  // namespace
}  // namespace scanflow
