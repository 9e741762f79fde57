#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "base/errors.h"
#include "base/os.h"
#include "hip_builders.h"
#include "host/hip/asset_definitions.h"
#include "host/hip/hip_host.h"
#include "test_support.h"
#include "util/confinement.h"

namespace scanflow::hip {
namespace {

const char* kVariables = "set -g _HIP_SAVEVERSION = '19.5.605'\n";

std::string parms(const Members& values) {
    std::string out = "{\nversion 0.8\n";
    for (const auto& [name, value] : values)
        out += name + "\t[ 0\tlocks=0 ]\t(\t\"" + value + "\"\t)\n";
    return out + "}\n";
}

// A definition of a geometry asset with a texture parameter, whose contents read the texture
// through a File node and keep a second File node of their own; `inner` more sections below
// the asset's root.
std::string definition(const std::string& type, const Members& inner = {}) {
    const std::string name = type.substr(type.find('/') + 1);
    Members contents{{"node_type", "Sop"},
                     {"hdaroot.init", "type = " + name + "\nmatchesdef = 0\n"},
                     {"hdaroot/read.init", "type = file\nmatchesdef = 0\n"},
                     {"hdaroot/read.parm", parms({{"file", "`chs(\\\"../tex\\\")`"}})},
                     {"hdaroot/own.init", "type = file\nmatchesdef = 0\n"},
                     {"hdaroot/own.parm", parms({{"file", "$HIP/geo/own.bgeo"}})}};
    contents.insert(contents.end(), inner.begin(), inner.end());
    const std::string dialog =
        "{\n    name\t" + name +
        "\n    parm {\n        name    \"tex\"\n        type    image\n"
        "        default { \"$HIP/tex/default.png\" }\n    }\n"
        "    parm {\n        name    \"scale\"\n        type    float\n        size    1\n"
        "        default { \"2.5\" }\n    }\n}\n";
    // The contents' own header comes before the archive.
    return indx(
        {{"DialogScript", dialog},
         {"CreateScript", ""},
         {"Contents.gz", testing::gzip(std::string("\x01\x02\x00\x00", 4) + cpio(contents))}});
}

std::string library(const std::string& type, const Members& inner = {}) {
    return indx(
        {{"INDEX_SECTION", "table"}, {"houdini.hdalibrary", ""}, {type, definition(type, inner)}},
        "Operator definitions");
}

TEST(AssetDefinitions, IndexAndDataArchivesAreReadWithinTheirBounds) {
    std::string whole = indx({{"a", "first"}, {"b", "second"}});
    auto entries = indx_archive(whole);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].name, "b");
    EXPECT_EQ(entries[1].data, "second");
    // Cut inside the data: the entries wholly inside stay.
    auto cut = indx_archive(whole.substr(0, whole.size() - 3));
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].data, "first");
    EXPECT_TRUE(indx_archive("not an archive").empty());
    EXPECT_TRUE(indx_archive(whole.substr(0, 20)).empty());

    auto definitions = read_definitions(library("Sop/texmaker"), "/lib/a.hda");
    ASSERT_EQ(definitions.size(), 1u);
    EXPECT_EQ(definitions[0].type, "Sop/texmaker");
    EXPECT_EQ(definitions[0].templates.at("tex").defaults,
              std::vector<std::string>{"$HIP/tex/default.png"});
    Archive contents = contents_archive(definitions[0]);
    EXPECT_TRUE(contents.damage.empty());
    EXPECT_TRUE(contents.find("hdaroot/read.parm"));
    definitions[0].contents = definitions[0].contents.substr(0, 30);
    EXPECT_NE(contents_archive(definitions[0]).damage.find("/lib/a.hda (Sop/texmaker)"),
              std::string::npos);
    EXPECT_EQ(type_without_category("ns::Sop/name::1.0"), "ns::name::1.0");
    EXPECT_EQ(type_without_category("Cop/sample"), "sample");
}

class Assets : public ::testing::Test {
protected:
    std::shared_ptr<Host> load(const Members& sections, Environment env = Environment::of({})) {
        Members members{{".variables", kVariables},
                        {"obj/geo1.init", "type = geo\nmatchesdef = 0\n"}};
        members.insert(members.end(), sections.begin(), sections.end());
        auto host = make_hip_host(std::move(env));
        host->load_hip(dir_.write("shot.hip", cpio(members)));
        return host;
    }
    std::string value(Host& host, const std::string& node, const std::string& parm) {
        NodePtr n = host.node(node);
        if (!n) return "<no node " + node + ">";
        return n->evalParm(parm).str();
    }
    testing::TempDir dir_;
};

TEST_F(Assets, LockedInstancesHaveTheirDefinitionsContentsAndDefaults) {
    auto host = load({{".defotl", library("Sop/texmaker")},
                      {"obj/geo1/maker.init", "type = texmaker\nmatchesdef = 1\n"},
                      {"obj/geo1/maker.parm", parms({})},
                      // An editable node of the asset, saved: it keeps what was saved.
                      {"obj/geo1/maker/own.init", "type = file\nmatchesdef = 0\n"},
                      {"obj/geo1/maker/own.parm", parms({{"file", "$HIP/geo/edited.bgeo"}})},
                      {"obj/geo1/open.init", "type = texmaker\nmatchesdef = 0\n"},
                      {"obj/geo1/open.parm", parms({{"tex", "$HIP/tex/mine.png"}})}});
    // The unsaved parameter reads its definition's default, and the inner node reads it.
    EXPECT_EQ(value(*host, "/obj/geo1/maker", "tex"), dir_.path() + "/tex/default.png");
    EXPECT_EQ(host->node("/obj/geo1/maker")->evalParm("scale").as_float(), 2.5);
    EXPECT_EQ(value(*host, "/obj/geo1/maker/read", "file"), dir_.path() + "/tex/default.png");
    EXPECT_EQ(value(*host, "/obj/geo1/maker/own", "file"), dir_.path() + "/geo/edited.bgeo");
    EXPECT_TRUE(host->node("/obj/geo1/maker/read")->isInsideLockedHDA());
    EXPECT_TRUE(from_definition(*host, "/obj/geo1/maker/read"));
    EXPECT_FALSE(from_definition(*host, "/obj/geo1/maker/own"));
    std::vector<std::string> children;
    for (auto& child : host->node("/obj/geo1/maker")->allSubChildren())
        children.push_back(child->path());
    std::sort(children.begin(), children.end());
    EXPECT_EQ(children, (std::vector<std::string>{"/obj/geo1/maker/own", "/obj/geo1/maker/read"}));
    // An unlocked instance keeps what the scene saved, and is given no contents.
    EXPECT_EQ(value(*host, "/obj/geo1/open", "tex"), dir_.path() + "/tex/mine.png");
    EXPECT_FALSE(host->node("/obj/geo1/open/read"));
    Scene::AssetFigures figures = asset_figures(*host);
    EXPECT_EQ(figures.instances, 2u);
    EXPECT_EQ(figures.definitions_found, 2u);
    EXPECT_EQ(figures.expanded, 1u);
    EXPECT_EQ(figures.nodes_inside, 1u);
}

TEST_F(Assets, DefinitionsComeFromTheLibrariesBesideTheSceneUnlessConfinedElsewhere) {
    dir_.write("otls/tools.hda", library("Sop/texmaker"));
    const Members scene{{".OPfallbacks", "Sop/texmaker /elsewhere/otls/tools.hda\n"},
                        {"obj/geo1/maker.init", "type = texmaker\nmatchesdef = 1\n"},
                        {"obj/geo1/maker.parm", parms({})}};
    auto host = load(scene);
    EXPECT_EQ(value(*host, "/obj/geo1/maker/read", "file"), dir_.path() + "/tex/default.png");

    // A farm machine confined to another folder reads no library of the scene's folder, neither
    // one the scene installed nor one beside it.
    testing::TempDir elsewhere;
    auto confined = make_hip_host(Environment::of({}));
    confined->confine_variables(Confinement::from_lists(elsewhere.path(), ""));
    Members installed{{".variables", kVariables},
                      {"obj/geo1.init", "type = geo\nmatchesdef = 0\n"},
                      {".OPlibraries", dir_.file("otls/tools.hda") + "\n"},
                      {".OPdummydefs", indx({{"Sop/texmaker", ""}})}};
    installed.insert(installed.end(), scene.begin() + 1, scene.end());
    confined->load_hip(elsewhere.write("shot2.hip", cpio(installed)));
    EXPECT_FALSE(confined->node("/obj/geo1/maker/read"));
    EXPECT_EQ(asset_figures(*confined).definitions_found, 0u);
    // Unconfined, the library the scene installed is where its definition comes from.
    auto installing = make_hip_host(Environment::of({}));
    installing->load_hip(elsewhere.file("shot2.hip"));
    EXPECT_TRUE(installing->node("/obj/geo1/maker/read"));

    // A studio's library folder on the asset search path ("&" stands for the host's own).
    testing::TempDir studio;
    studio.write("hda/studio_tools.hda", library("Sop/texmaker"));
    std::remove(dir_.file("otls/tools.hda").c_str());
    auto searched =
        load(scene, Environment::of({{"HOUDINI_OTLSCAN_PATH",
                                      studio.file("hda") + (os::kWindows ? ";" : ":") + "&"}}));
    EXPECT_EQ(value(*searched, "/obj/geo1/maker/read", "file"), dir_.path() + "/tex/default.png");
    EXPECT_FALSE(load(scene)->node("/obj/geo1/maker/read"));  // nowhere else to find it
}

TEST_F(Assets, AnAssetContainingItselfEndsAtTheNestingBound) {
    const Members inner{{"hdaroot/again.init", "type = texmaker\nmatchesdef = 1\n"}};
    auto host = make_hip_host(Environment::of({}));
    std::string told;
    try {
        host->load_hip(dir_.write(
            "shot.hip", cpio({{".variables", kVariables},
                              {"obj/geo1.init", "type = geo\nmatchesdef = 0\n"},
                              {".defotl", library("Sop/texmaker", inner)},
                              {"obj/geo1/maker.init", "type = texmaker\nmatchesdef = 1\n"}})));
    } catch (const LoadWarning& warning) {
        told = warning.what();
    }
    EXPECT_NE(told.find("nest deeper than 64 levels"), std::string::npos) << told;
    std::string deepest = "/obj/geo1/maker";
    for (int level = 0; level < 64; ++level) deepest += "/again";
    EXPECT_TRUE(host->node(deepest));
    EXPECT_FALSE(host->node(deepest + "/again"));
}

}  // namespace
}  // namespace scanflow::hip
