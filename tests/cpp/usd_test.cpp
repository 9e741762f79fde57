#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "test_support.h"
#include "usd/facade.h"
#include "usd/layers.h"
#include "usd/stage_refs.h"
#include "usd/usda_text.h"
#include "util/paths.h"

namespace scanflow {
namespace {

using testing::ConsoleCapture;
using testing::TempDir;

// The USD library as far as the walks use it: each layer's external references, and one walk.
class FakeUsd : public UsdFacade {
public:
    std::map<std::string, std::vector<std::string>> references;
    std::vector<std::string> opened;
    UsdStageWalk walk;

    std::vector<std::pair<std::string, std::string>> variant_selections(
        const std::string&) override {
        return {};
    }
    std::vector<std::string> external_references(const std::string& layer) override {
        opened.push_back(layer);
        return references[layer];
    }
    std::vector<std::pair<std::string, std::string>> picked;  // for the prim /world
    UsdStageWalk walk_stage(const std::string&, const VariantChooser& choose) override {
        if (choose) picked = choose("/world");
        return walk;
    }
    std::pair<double, double> time_codes(const std::string&) override { return {1, 1}; }
    std::string version() override { return "0.25.5"; }
};

bool has(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

TEST(Usd, StageReferencesFromLayersPrimSpecsAndAttributes) {
    TempDir dir;
    ConsoleCapture capture;
    std::string shot = dir.write("shot.usda", "#usda 1.0\n");
    std::string ref = dir.write("ref.usda", "#usda 1.0\n");
    std::string a = dir.write("tex/a.exr", "a");
    std::string b = dir.write("tex/b.exr", "b");
    FakeUsd usd;
    usd.references[shot] = {"ref.usda", "sub/missing.usda"};
    auto prim = std::make_shared<UsdPrim>();
    prim->path = "/world";
    prim->specs.push_back(UsdSpec{shot, "", {"", "ref.usda"}});  // an internal reference first
    UsdAttribute text;
    text.name = "inputs:file";
    text.kind = UsdAttribute::Text;
    text.text = a;
    UsdAttribute asset;
    asset.name = "inputs:texture";
    asset.kind = UsdAttribute::Asset;
    asset.written = "./tex/B.EXR";
    asset.resolved = b;
    // A texture written with the other separator: it sorts elsewhere until its separators turn.
    UsdAttribute turned = asset;
    turned.name = "inputs:other";
    turned.resolved = dir.path() + "\\tex\\a.exr";
    prim->attributes = {text, asset, turned};
    usd.walk.prims.push_back(prim);

    // The prim patterns recorded for this layer pick the variants; a stage manager's set
    // selections and another layer's patterns do not.
    auto pick = [](const std::string& prim_path, Value set, Value name) {
        return RecordedVariant{prim_path, true, std::move(set), std::move(name), {}};
    };
    RecordedVariants variants(4);
    variants[0].layer = shot;
    variants[0].record(pick("/world", Value::text("look"), Value::text("red")));
    variants[0].record(pick("/other", Value::text("look"), Value::text("blue")));
    variants[1].layer = shot;
    variants[1].record(RecordedVariant{"look", false, {}, {}, "green"});
    variants[2].layer = dir.file("elsewhere.usda");
    variants[2].record(pick("/world", Value::text("look"), Value::text("grey")));
    variants[3].layer = shot;
    variants[3].record(pick("/world", Value::text("lod"), Value::integer(2)));
    std::set<std::string> search;
    DirCache listings;
    auto found = get_stage_references(
        shot,
        StageInputs{&usd, variants, search, {}, Environment::of({}), listings, native_flavour()});
    EXPECT_EQ(usd.picked,
              (std::vector<std::pair<std::string, std::string>>{{"look", "red"}, {"lod", "2"}}));
    EXPECT_TRUE(has(found, a)) << Json(found).dump();
    EXPECT_TRUE(has(found, b));  // the asset as the library resolved it
    // In order, each once, every separator forward.
    EXPECT_EQ(std::adjacent_find(found.begin(), found.end(), std::greater_equal<>()), found.end())
        << Json(found).dump();
    EXPECT_TRUE(std::none_of(found.begin(), found.end(), [](const std::string& p) {
        return p.find('\\') != std::string::npos;
    }));
    EXPECT_TRUE(has(found, ref));
    EXPECT_FALSE(has(found, dir.path()));  // an internal reference names no file
    EXPECT_FALSE(std::any_of(found.begin(), found.end(), [](const std::string& p) {
        return p.find("B.EXR") != std::string::npos;
    }));
    // A missing layer is listed but never opened.
    EXPECT_TRUE(has(found, dir.file("sub/missing.usda")));
    auto opened = testing::forward_on_windows(usd.opened);
    EXPECT_FALSE(has(opened, dir.file("sub/missing.usda")));
    EXPECT_TRUE(has(opened, ref));
    // A folder named as a layer is listed and never opened.
    std::set<std::string> layers;
    usd.opened.clear();
    get_refe_layer(dir.file("tex"), layers, usd, {}, listings, native_flavour());
    EXPECT_TRUE(usd.opened.empty());
    EXPECT_EQ(layers, std::set<std::string>{dir.file("tex")});
}

// A chain of layers, each naming the next and a missing one, with a cycle back to the top:
// every stage of it finds the same layers with the links kept as without, and each layer is
// asked what it names once.
TEST(Usd, LayersReachedAgainAreReadOnceWithTheSameResult) {
    TempDir dir;
    FakeUsd usd;
    // Each layer as the walk names it: in the platform's own form.
    std::vector<std::string> chain;
    for (int i = 0; i < 4; ++i)
        chain.push_back(
            normpath(dir.write("d" + std::to_string(i) + "/layer.usda", "x"), native_flavour()));
    for (int i = 0; i < 3; ++i)
        usd.references[chain[i]] = {"../d" + std::to_string(i + 1) + "/layer.usda", "gone.usda"};
    usd.references[chain[3]] = {"../d0/layer.usda", ""};
    DirCache listings;
    LayerLinks links;
    for (const auto& top : chain) {
        std::set<std::string> plain, linked;
        get_refe_layer(top, plain, usd, {}, listings, native_flavour());
        get_refe_layer(top, linked, usd, {}, listings, native_flavour(), &links);
        EXPECT_EQ(linked, plain);
        EXPECT_EQ(plain.size(), 7u);  // the four layers and three missing ones
    }
    usd.opened.clear();
    for (const auto& top : chain) {
        std::set<std::string> again;
        get_refe_layer(top, again, usd, {}, listings, native_flavour(), &links);
    }
    EXPECT_TRUE(usd.opened.empty());  // all known from the first round

    // A layer the caller holds already is neither opened nor followed.
    DirCache fresh;
    std::set<std::string> given{chain[1]};
    get_refe_layer(chain[0], given, usd, {}, fresh, native_flavour());
    EXPECT_EQ(given, (std::set<std::string>{chain[0], chain[1],
                                            normpath(dir.file("d0/gone.usda"), native_flavour())}));
    EXPECT_EQ(usd.opened, std::vector<std::string>{chain[0]});

    // Opened depth first, in the order each layer names them.
    std::string fork = normpath(dir.write("fork.usda", "x"), native_flavour());
    usd.references[fork] = {"d2/layer.usda", "d3/layer.usda"};
    usd.opened.clear();
    std::set<std::string> forked;
    get_refe_layer(fork, forked, usd, {}, fresh, native_flavour());
    EXPECT_EQ(usd.opened, (std::vector<std::string>{fork, chain[2], chain[3], chain[0], chain[1]}));
}

// Every stage of a chain holds the prims of the stages below it: with what one stage found kept
// for the next, each stage finds what it finds alone, and each prim's files are worked out once.
TEST(Usd, StagesOfAChainFindWhatTheyFindAlone) {
    TempDir dir;
    ConsoleCapture capture;
    std::vector<std::string> chain;
    std::vector<std::shared_ptr<const UsdPrim>> prims;
    for (int i = 0; i < 3; ++i) {
        std::string d = "d" + std::to_string(i);
        chain.push_back(normpath(dir.write(d + "/layer.usda", "x"), native_flavour()));
        dir.write(d + "/tex/t" + std::to_string(i) + ".exr", "t");
        auto prim = std::make_shared<UsdPrim>();
        prim->path = "/p" + std::to_string(i);
        prim->specs.push_back(UsdSpec{chain.back(), "", {}});
        UsdAttribute text;
        text.name = "inputs:file";
        text.kind = UsdAttribute::Text;
        text.text = "tex/t" + std::to_string(i) + ".exr";
        UsdAttribute gone;
        gone.name = "inputs:gone";
        gone.kind = UsdAttribute::Asset;
        gone.written = "./gone.exr";
        gone.anchored = dir.file(d + "/gone.exr");
        prim->attributes = {text, gone};
        prims.push_back(prim);
    }
    FakeUsd usd;
    for (int i = 0; i < 2; ++i)
        usd.references[chain[i]] = {"../d" + std::to_string(i + 1) + "/layer.usda"};
    RecordedVariants variants;
    std::set<std::string> texture_dirs;
    DirCache listings;
    StageInputs in{&usd,     variants,        texture_dirs, {}, Environment::of({}),
                   listings, native_flavour()};
    StageMemo memo;
    for (int i = 0; i < 3; ++i) {
        usd.walk.prims.assign(prims.begin() + i, prims.end());
        auto alone = get_stage_references(chain[i], in);
        auto kept = get_stage_references(chain[i], in, &memo);
        EXPECT_EQ(kept, alone);
        // Its own layers, and each prim's texture and missing file, from this stage down.
        EXPECT_EQ(alone.size(), 3u * (3 - i)) << Json(alone).dump();
        EXPECT_TRUE(has(testing::forward_on_windows(alone), dir.file("d2/tex/t2.exr")));
        EXPECT_TRUE(has(testing::forward_on_windows(alone),
                        dir.file("d" + std::to_string(i) + "/gone.exr")));
    }
    EXPECT_EQ(memo.prim_files.size(), 3u);

    // The files of prims that no walk holds any more go.
    auto other = std::make_shared<UsdPrim>(*prims[2]);
    prims.clear();
    usd.walk.prims = {other};
    memo.next_look = 0;
    get_stage_references(chain[2], in, &memo);
    ASSERT_EQ(memo.prim_files.size(), 1u);
    EXPECT_EQ(memo.prim_files.begin()->first, other.get());
}

// A path whose first component names a variable stands for the file under its value; a layer
// not beside its referrer comes from the last search directory set. Under a confinement a
// variable it does not allow is not expanded.
TEST(Usd, VariablesInPathsAndLayerSearchDirectories) {
    TempDir dir;
    ConsoleCapture capture;
    std::string shot = dir.write("shot/shot.usda", "#usda 1.0\n");
    dir.write("lib/tex/a.exr", "a");
    std::string shared = dir.write("shared/set.usda", "#usda 1.0\n");
    FakeUsd usd;
    usd.references[shot] = {"set.usda"};
    auto prim = std::make_shared<UsdPrim>();
    prim->path = "/world";
    prim->specs.push_back(UsdSpec{shot, "", {}});
    UsdAttribute text;
    text.name = "inputs:file";
    text.kind = UsdAttribute::Text;
    text.text = "TEXROOT/a.exr";
    prim->attributes = {text};
    usd.walk.prims.push_back(prim);

    Environment machine = Environment::of(
        {{"TEXROOT", dir.file("lib/tex")}, {"LAYERS", dir.file("shared")}, {"UNSET_LATER", "/x"}});
    std::vector<std::string> search =
        layer_search_dirs({"NOT_SET", "UNSET_LATER", "LAYERS"}, machine);
    EXPECT_EQ(search, (std::vector<std::string>{"/x", dir.file("shared")}));
    RecordedVariants variants;
    std::set<std::string> texture_dirs;
    auto walk = [&](const Environment& variables) {
        DirCache listings;
        return testing::forward_on_windows(
            get_stage_references(shot, StageInputs{&usd, variants, texture_dirs, search, variables,
                                                   listings, native_flavour()}));
    };
    // The value and the rest of the path are joined as written, separator and all.
    const std::string expanded = dir.file("lib/tex") + "//a.exr";
    auto found = walk(machine);
    EXPECT_TRUE(has(found, expanded)) << Json(found).dump();
    EXPECT_TRUE(has(found, shared));

    auto confinement = Confinement::from_lists(dir.path(), "LAYERS");
    found = walk(machine.confined(confinement));
    EXPECT_FALSE(has(found, expanded)) << Json(found).dump();
    EXPECT_TRUE(has(found, shared));  // the search directories are the machine's, not the scene's
    EXPECT_EQ(machine.confined(confinement).get("LAYERS"), dir.file("shared"));
    EXPECT_EQ(machine.confined(nullptr).get("TEXROOT"), dir.file("lib/tex"));
}

TEST(Usd, TextLayersNameFilesBesideThemselves) {
    TempDir dir;
    ConsoleCapture capture;
    std::string layer = dir.write(
        "set/layer.usda", "#usda 1.0\nasset file = @./tex/a.exr@\nasset b = @/abs/b.exr@\n");
    auto found = handle_usda_file(layer, native_flavour());
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(testing::forward_on_windows(found)[0], dir.file("set/tex/a.exr"));
    EXPECT_EQ(found[1], "/abs/b.exr");
}

TEST(Usd, LayersTheLibraryMustNotOpen) {
    TempDir dir;
    EXPECT_EQ(usda_nesting("#usda 1.0\ndef \"a\" {\n  def \"b\" (kind = \"x\") {\n  }\n}\n"), 2u);
    // Brackets in strings, triple-quoted strings, asset paths and comments are no structure.
    EXPECT_EQ(usda_nesting(R"(def "{{" { string s = """{{(
    [[""" # {{{{
    asset a = @{{[[@ asset b = @@@x@{{@@@ string t = "\"{{" })"),
              1u);
    std::string deep = "#usda 1.0\n";
    for (int i = 0; i < 1001; ++i) deep += "def \"p\" {\n";
    EXPECT_NE(layer_refusal(dir.write("deep.usda", deep)).find("nest 1001 deep"),
              std::string::npos);
    EXPECT_EQ(layer_refusal(dir.write("fine.usda", "#usda 1.0\ndef \"a\" {}\n")), "");
    EXPECT_EQ(layer_refusal(dir.write("binary.usd", "PXR-USDC" + std::string(2000, '{'))), "");
    EXPECT_EQ(layer_refusal(dir.file("missing.usda")), "");  // the library reports it
    EXPECT_NE(layer_refusal(dir.path()), "");                // a directory is no layer
}

}  // namespace
}  // namespace scanflow
