#include <gtest/gtest.h>

#include "fake_scene.h"
#include "scan/node_preparation.h"
#include "scan/param_scan.h"
#include "scan/sequence.h"
#include "util/file_reference.h"

namespace scanflow {
namespace {

using testing::ConsoleCapture;
using testing::FakeScene;

TEST(FileReference, AbsolutePathsWithStemAndExtension) {
    std::string cleaned;
    const Flavour f{false};
    EXPECT_TRUE(is_file_reference("C:\\tex\\wood.jpg", &cleaned, f));
    EXPECT_EQ(cleaned, "C:/tex/wood.jpg");
    EXPECT_TRUE(is_file_reference("'D:/a/b.exr'", &cleaned, f));
    EXPECT_EQ(cleaned, "D:/a/b.exr");
    EXPECT_TRUE(is_file_reference("//server/share/a.exr", nullptr, f));
    EXPECT_TRUE(is_file_reference("/a/b/tex.png", nullptr, f));
    // Code in a text parameter may start as a path does; a path has one line.
    for (const char* no : {"tex/wood.jpg", "C:/tex/", "C:/tex/LICENSE", "/a/b/.hidden", "", "plain",
                           "c:/lower/drive.exr", "/* kernel.h\n */ float x = 1.0;", "/a/b.exr\r"})
        EXPECT_FALSE(is_file_reference(no, nullptr, f)) << no;
}

TEST(FramePattern, DifferingDigitRunsBecomeWildcards) {
    EXPECT_EQ(frame_pattern("/c/sim.0001.bgeo", "/c/sim.0002.bgeo"), "/c/sim.*.bgeo");
    EXPECT_EQ(frame_pattern("/c/1/sim.1.bgeo", "/c/1/sim.2.bgeo"), "/c/*/sim.1.bgeo");
    EXPECT_EQ(frame_pattern("/c/v2/s.1.bgeo", "/c/v3/s.2.bgeo"), "/c/v*/s.*.bgeo");
}

class Sequences : public ::testing::Test {
protected:
    std::string record_sequence(Parm& parm) { return RY_GetSequen(parm, *scene_, Flavour{}); }
    void scan() {
        ScanInputs in{*scene_, state(), nullptr, [] { return false; }, Flavour{}};
        analysis_assetsChecking(in);
    }
    ModuleState& state() { return module_.state; }
    std::string record(const std::string& node_type, const std::string& raw) {
        auto& node = scene_->add("/obj/n" + std::to_string(++count_), node_type).with("file", raw);
        auto parm = node.fake_parm("file");
        std::string pattern = record_sequence(*parm);
        EXPECT_EQ(parm->unexpandedString(), raw);  // the raw text is restored
        return pattern;
    }
    std::shared_ptr<FakeScene> scene_ = std::make_shared<FakeScene>();
    testing::TestModule module_{scene_};
    ConsoleCapture capture_;
    int count_ = 0;
};

TEST_F(Sequences, FrameVariablesBecomeTheFrameToken) {
    EXPECT_EQ(record("file", "$HIP/tex/wood_$F4.png"), "/proj/tex/wood_$F.png");
    EXPECT_EQ(record("file", "/r/a.$FF.exr"), "/r/a.$F.exr");
    EXPECT_EQ(record("file", "/s/$F/img.$F4.exr"), "/s/$F/img.$F.exr");
    EXPECT_EQ(record("file", "$JOB/plain.exr"), "/jobs/show/plain.exr");
    EXPECT_EQ(record("file", "/c/model.fbx#take1"), "/c/model.fbx");
}

TEST_F(Sequences, ExpressionRules) {
    EXPECT_EQ(record("file", "/r/img.`padzero(4,$F)`.exr"), "/r/img.*.exr");
    EXPECT_EQ(record("file", "/r/v2/img.`clamp($F,1,10)`.exr"), "/r/v2/img.*.exr");
    // With both, the padzero rule, applied to the raw name, is the one recorded.
    EXPECT_EQ(record("file", "/r/img2.`clamp($F,1,9)`.`padzero(3,$F)`.exr"),
              "/r/img*.`clamp($F,*,*)`.*.exr");
    EXPECT_EQ(record("file", "/r/a.`chs(\"offsettime\")`.exr"), "/r/a.*.exr");
}

TEST_F(Sequences, NodeTypeRules) {
    scene_->add("/obj/merge", "filemerge")
        .with("file", "/c/part_$MV.bgeo")
        .with("merge_var", "MV")
        .with("cachesize", Value::integer(10));
    EXPECT_EQ(record_sequence(*scene_->parm_at("/obj/merge/file")), "/c/part_*[0-11].bgeo");

    scene_->add("/obj/merge2", "filemerge::2.0")
        .with("file", "/c/part_$MV.0001.bgeo")
        .with("merge_var", "MV");
    EXPECT_EQ(record_sequence(*scene_->parm_at("/obj/merge2/file")), "/c/part_*[0-9]*bgeo");

    scene_->add("/obj/cache", "filecache::2.0")
        .with("file", "/c/x.bgeo.sc")
        .with("filemethod", Value::integer(0))
        .with("sopoutput", "/c/v2/sim.$F4.bgeo.sc")
        .with("framestr", "");
    EXPECT_EQ(record_sequence(*scene_->parm_at("/obj/cache/file")),
              "/c/v2/sim.*.bgeo.sc");  // digits of the name only

    scene_->add("/obj/cache2", "labs::filecache::2.0")
        .with("file", "/c/y.bgeo.sc")
        .with("filemethod", Value::integer(0))
        .with("sopoutput", "/c/21/sim.$F.bgeo")
        .with("framestr", "x");
    // Frames 1 and 2 differ in "1", whose first occurrence is the one in the directory.
    EXPECT_EQ(record_sequence(*scene_->parm_at("/obj/cache2/file")), "/c/2*/sim.1.bgeo");
    EXPECT_EQ(scene_->current_frame, 2);
}

TEST_F(Sequences, ReferencesAreFollowedThroughChainsAndCyclesEnd) {
    scene_->add("/obj/src", "null").with("path", "/tex/base.exr");
    scene_->add("/obj/mid", "null").with("path", "`chs(\"/obj/src/path\")`");
    EXPECT_EQ(record("file", "`chs(\"/obj/mid/path\")`"), "/tex/base.exr");
    scene_->add("/obj/a", "null").with("p", "`chs(\"/obj/b/p\")`");
    scene_->add("/obj/b", "null").with("p", "`chs(\"/obj/a/p\")`");
    // The resolution stops following at the cycle; what remains is the host's own evaluation,
    // which reports the cycle as an error.
    EXPECT_THROW(convertReference(*scene_->parm_at("/obj/a/p")), HostError);
    // A frame padding is no reference: the text stays whole, for the frame rules after it.
    scene_->add("/obj/pad", "file").with("file", "/c/sim.`padzero(4, $F)`.bgeo");
    EXPECT_EQ(convertReference(*scene_->parm_at("/obj/pad/file")), "/c/sim.`padzero(4, $F)`.bgeo");
}

TEST_F(Sequences, KeyframedRawTextAndUnresolvableReferences) {
    auto& node = scene_->add("/obj/k", "file").with("file", "/tex/k.$F.exr");
    node.fake_parm("file")->keyframed = true;
    // The keyframes make the reference resolution fail: the run ends with 556.
    try {
        record_sequence(*node.fake_parm("file"));
        FAIL();
    } catch (const ExitRequest& request) {
        EXPECT_EQ(request.code, 556);
    }
    EXPECT_NE(capture_.text().find("<hou.Parm file in /obj/k>\n"), std::string::npos);
    EXPECT_NE(capture_.text().find("traceback.format_exc():\nTraceback"), std::string::npos);
}

class Scan : public Sequences {};

TEST_F(Scan, CollectsFileParametersAndSkipsWhatTheSystemSkips) {
    scene_->add("/obj", "obj");
    scene_->add("/obj/tex", "texture")
        .with("map", "C:\\tex\\wood.jpg")
        .with("postrender", "C:/x/y.py")
        .with("rel", "tex/wood.jpg")
        .with("num", Value::integer(3))
        .with("quoted", "'/a/b.exr'");
    scene_->add("/out", "out");
    scene_->add("/out/mantra", "ifd").with("vm_picture", "/render/a.$F4.exr");
    scene_->add("/obj/abc", "alembic")
        .with("fileName", "/c/a.abc")
        .with("execute", Value::integer(0));
    scene_->add("/obj/cache", "filecache")
        .with("file", "/c/s.bgeo.sc")
        .with("loadfromdisk", Value::integer(0));
    auto& locked = scene_->add("/obj/hda/inner", "thing")
                       .with("file", "/c/inner.exr")
                       .with("expr", "/c/never.exr");
    locked.locked_hda = true;
    locked.library = "/otls/thing.hda";
    scene_->parm_at("/obj/hda/inner/expr")->error = "cannot evaluate";
    scene_->add("/obj/bad", "texture").with("a", "/x/1.exr").with("b", "/x/2.exr");
    scene_->parm_at("/obj/bad/a")->error = "cannot evaluate";
    scene_->parm_at("/obj/bad/b")->error = "cannot evaluate";
    scene_->add("/obj/rs", "arnold_rendersettings")
        .with("xn__arnoldglobaltexture_searchpath_xpbg", "C:\\search");
    scene_->add("/obj/inst", "instance");
    scene_->add("/obj/sim", "HQ_Sim_Deadline::1.0").with("sopoutput", "/c/sim.$F4.bgeo");
    scene_->parm_at("/obj/tex/map")->locked = true;

    scan();
    const ModuleState& s = state();
    std::vector<std::string> keys, patterns;
    for (const auto& [parm, pattern] : s.ALL_NODE.entries()) {
        keys.push_back(parm);
        patterns.push_back(pattern);
    }
    // A node inside a locked asset reports its library and is read as well.
    EXPECT_EQ(keys, (std::vector<std::string>{"/obj/tex/map", "/obj/tex/quoted",
                                              "/obj/hda/inner/file", "/obj/sim/sopoutput"}));
    ASSERT_EQ(patterns.size(), 4u);
    EXPECT_EQ(patterns[0], "C:/tex/wood.jpg");
    EXPECT_FALSE(scene_->parm_at("/obj/tex/map")->isLocked());  // cleared before it is read
    EXPECT_EQ(patterns[3], "/c/sim.*.bgeo");
    EXPECT_EQ(s.GLOBAL_ALL_ORIGINOL_LIST.strings(), patterns);
    EXPECT_EQ(s.problem_nodes_list, (std::vector<std::string>{"/obj/bad"}));
    EXPECT_EQ(s.otls_assetpath, (std::vector<std::string>{"/otls/thing.hda"}));
    EXPECT_EQ(s.texture_searchpaths, (std::set<std::string>{"C:/search"}));
    EXPECT_TRUE(s.instance_flag);
    EXPECT_NE(capture_.text().find("all parm path list is [<hou.Parm map in /obj/tex>, "),
              std::string::npos);
    EXPECT_NE(capture_.text().find("problem nodes is : ['/obj/bad']\n[analysis_assets finished]\n"),
              std::string::npos);
}

TEST_F(Scan, SetVariantNodesRecordTheirSelections) {
    scene_->add("/stage", "lopnet");
    scene_->add("/stage/layer", "sublayer").with("filepath1", "/usd/shot.usda");
    auto& sv = scene_->add("/stage/sv", "setvariant")
                   .with("num_variants", Value::integer(2))
                   .with("primpattern1", "/world/a")
                   .with("variantset1", "look")
                   .with("variantname1", "red")
                   .with("primpattern2", "/world/a")
                   .with("variantset2", "look")
                   .with("variantname2", "blue");
    sv.inputs = {"/stage/layer"};
    scan();
    // The pattern's later recording replaces the earlier one.
    ASSERT_EQ(state().need_varian_usd.size(), 1u);
    EXPECT_EQ(variants_repr(state().need_varian_usd, "/usd/shot.usda"),
              "[{'/world/a': {'variantset': 'look', 'variantname': 'blue'}}]");
    EXPECT_EQ(variants_repr(state().need_varian_usd, "/usd/other.usda"), "[]");
}

TEST_F(Scan, AMissingParameterOfAHandledTypeEndsTheScan) {
    scene_->add("/obj/cache", "filecache").with("file", "/c/s.bgeo.sc");  // no loadfromdisk
    EXPECT_THROW(scan(), ExitRequest);
    EXPECT_NE(capture_.text().find("Invalid parameter name: loadfromdisk"), std::string::npos);
}

}  // namespace
}  // namespace scanflow
