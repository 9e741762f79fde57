#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include <cstdio>

#include "hip_builders.h"
#include "host/hip/archive.h"
#include "host/hip/expr.h"
#include "host/hip/geometry.h"
#include "host/hip/hip_host.h"
#include "host/hip/node_catalogue.h"
#include "host/hip/py_expr.h"
#include "host/hip/sections.h"
#include "render/geometry_outputs.h"
#include "render/rop_nodes.h"
#include "test_support.h"

namespace scanflow::hip {
namespace {

std::string mime(const std::vector<std::pair<std::string, std::string>>& members) {
    const std::string boundary =
        "HOUDINIMIMEBOUNDARY0xD3ADD339-0x00000F49-0x56B122C9-0x00000001HOUDINIMIMEBOUNDARY";
    std::string out =
        "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"" + boundary + "\"\n\n";
    for (const auto& [name, body] : members) {
        out += "--" + boundary + "\nContent-Disposition: attachment; filename=\"" + name + "\"\n";
        if (name == ".blob") {
            // Base64 padded per line, as the host writes binary parts.
            out += "Content-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n\n";
            out += "AAEC\nAw==\n";  // bytes 00 01 02, then 03
        } else {
            out += "Content-Type: text/plain\n\n" + body;
        }
        out += "\n";
    }
    return out + "--" + boundary + "--\n";
}

const std::vector<std::pair<std::string, std::string>> kMembers{
    {".start", "fplayback -i on\ntcur 0\nfps 24\ntset 0 10\nframe 1 240\n"},
    {".variables", "set -g JOB = '/jobs/x'\nset -g _HIP_SAVEVERSION = '19.5.605'\n"},
    {"obj/geo1.init", "type = geo\nmatchesdef = 0\n"},
    {"obj/geo1.parm", "{\nversion 0.8\nfile\t[ 0\tlocks=0 ]\t(\t$HIP/a.bgeo\t)\n}\n"},
};

TEST(Archive, BothFormsGiveTheSameSections) {
    Archive a = parse_archive("a.hip", cpio(kMembers));
    auto with_blob = kMembers;
    with_blob.emplace_back(".blob", "");
    Archive b = parse_archive("b.hip", mime(with_blob));
    ASSERT_EQ(a.sections.size(), 4u);
    ASSERT_EQ(b.sections.size(), 5u);
    for (size_t i = 0; i < a.sections.size(); ++i) {
        EXPECT_EQ(a.sections[i].name, b.sections[i].name);
        EXPECT_EQ(a.sections[i].body, b.sections[i].body);
    }
    EXPECT_EQ(*b.find(".blob"), std::string("\0\1\2\3", 4));
    EXPECT_TRUE(a.damage.empty() && b.damage.empty());
    // Only the scene's own sections are indexed; a node's is found all the same.
    EXPECT_EQ(a.index.size(), 2u);
    ASSERT_NE(a.find("obj/geo1.init"), nullptr);
    EXPECT_EQ(*a.find("obj/geo1.init"), kMembers[2].second);
    EXPECT_EQ(a.find("obj/geo2.init"), nullptr);
}

TEST(Scene, PathsResolveAsTheHostResolvesThem) {
    Scene scene(Archive{}, "/p/x.hip");
    EXPECT_EQ(scene.resolve_path("/obj/geo1", "../cam1"), "/obj/cam1");
    EXPECT_EQ(scene.resolve_path("/obj/geo1", "file1"), "/obj/geo1/file1");
    EXPECT_EQ(scene.resolve_path("/obj", "/out/./r//"), "/out/r");
    EXPECT_EQ(scene.resolve_path("/obj", "/out/r"), "/out/r");
    EXPECT_EQ(scene.resolve_path("/obj", "/out/./r"), "/out/r");
    EXPECT_EQ(scene.resolve_path("/obj", "/a/../out"), "/out");
    EXPECT_EQ(scene.resolve_path("/obj", "../.."), "/");
    EXPECT_EQ(scene.resolve_path("/obj/geo1", "."), "/obj/geo1");
    EXPECT_EQ(scene.resolve_path("/obj", "/"), "/");
}

TEST(Archive, DamageKeepsWhatCameBeforeAndNamesTheOffset) {
    std::string whole = cpio(kMembers);
    for (size_t cut : {whole.size() - 1, whole.size() - 90, size_t{80}, size_t{10}}) {
        Archive a = parse_archive("cut.hip", whole.substr(0, cut));
        EXPECT_NE(a.damage.find("cut.hip: "), std::string::npos) << cut;
        EXPECT_NE(a.damage.find(" at offset "), std::string::npos) << cut;
    }
    Archive partial = parse_archive("cut.hip", whole.substr(0, whole.size() - 90));
    EXPECT_GE(partial.sections.size(), 3u);
    std::string bad = whole;
    bad[60] = '9';  // a digit that is not octal in the first name size
    EXPECT_NE(parse_archive("bad.hip", bad).damage.find("corrupt section header at offset 0"),
              std::string::npos);
    EXPECT_THROW(parse_archive("x.hiplc", std::string("HouLC\x1a", 6) + "1033600baa"), HostError);
    EXPECT_THROW(parse_archive("main.hip", "#include <hip/hip_runtime.h>\n"), HostError);
}

// A scene file is read section by section; what it gives is what its bytes give in memory, damage
// included, and a size its header claims is never allocated ahead of the bytes.
TEST(Archive, AFileReadSectionBySectionGivesWhatItsBytesGive) {
    testing::TempDir dir;
    const std::string whole = cpio(kMembers);
    std::string claims_too_much = whole;
    claims_too_much.replace(65, 11, "77777777777");  // the first body "is" 8 GB
    std::vector<std::string> files{whole, whole.substr(0, whole.size() - 90), whole.substr(0, 80),
                                   claims_too_much, mime(kMembers)};
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string path = dir.write("s" + std::to_string(i) + ".hip", files[i]);
        Archive read = read_archive(path), parsed = parse_archive(path, files[i]);
        EXPECT_EQ(read.damage, parsed.damage) << i;
        ASSERT_EQ(read.sections.size(), parsed.sections.size()) << i;
        for (size_t k = 0; k < read.sections.size(); ++k) {
            EXPECT_EQ(read.sections[k].name, parsed.sections[k].name) << i;
            EXPECT_EQ(read.sections[k].body, parsed.sections[k].body) << i;
        }
    }
    EXPECT_EQ(read_archive(dir.path() + "/s0.hip").sections.size(), kMembers.size());
    EXPECT_NE(
        read_archive(dir.path() + "/s3.hip").damage.find("truncated section .start at offset 0"),
        std::string::npos);
    EXPECT_THROW(read_archive(dir.path() + "/none.hip"), HostError);
    // The text form is read whole, and its nodes are made all the same.
    auto host = make_hip_host(Environment::of({}));
    host->load_hip(dir.path() + "/s4.hip");
    ASSERT_TRUE(host->node("/obj/geo1"));
    EXPECT_EQ(host->node("/obj/geo1")->evalParm("file").str(), dir.path() + "/a.bgeo");
}

TEST(Sections, ParmTokens) {
    auto entries = parse_parms(
        "{\nversion 0.8\n"
        "f\t[ 0\tlocks=2\tautoscope=0 ]\t(\t[ f1\t1 ] \t[ f2\t240 ] \t1\t)\n"
        "code\t[ 0\tlocks=0 ]\t(\t\"line one\nline \\\"two\\\" \\\\n\"\t)\n"
        "json\t[ 0\tlocks=0 ]\t(\t[\\\"ubox\\\",{}]\t)\n"
        "sep\t[ 0\tlocks=0 ]\t(\t)\n"
        "ref\t[ 0\tlocks=0 ]\t(\t`chs(\\\"../a\\\")`\t)\n"
        // a cache node's own "version" parameter is no section header
        "version\t[ 0\tlocks=0 ]\t(\t3\t)\nafter\t[ 0\tlocks=0 ]\t(\t1\t)\n}\n",
        "t.parm");
    ASSERT_EQ(entries.size(), 7u);
    EXPECT_EQ(entries[5].name, "version");
    EXPECT_EQ(entries[5].components[0].text, "3");
    EXPECT_EQ(entries[6].name, "after");
    EXPECT_EQ(entries[0].locks, 2u);
    ASSERT_EQ(entries[0].components.size(), 3u);
    EXPECT_EQ(entries[0].components[1].kind, Component::Channel);
    EXPECT_EQ(entries[0].components[1].channel, "f2");
    EXPECT_EQ(entries[0].components[1].text, "240");
    EXPECT_EQ(entries[0].components[2].kind, Component::Number);
    EXPECT_EQ(entries[1].components[0].text, "line one\nline \"two\" \\n");
    EXPECT_EQ(entries[2].components[0].kind, Component::Bare);
    EXPECT_EQ(entries[2].components[0].text, "[\"ubox\",{}]");
    EXPECT_TRUE(entries[3].components.empty());
    EXPECT_EQ(entries[4].components[0].text, "`chs(\"../a\")`");
    EXPECT_THROW(parse_parms("{\nf\t[ 0 ]\t(\t\"open\n", "t.parm"), ParseError);
    EXPECT_THROW(parse_parms("{\nf\t( 1 )\n}", "t.parm"), ParseError);
}

TEST(Sections, ChannelsAndNodeDefinitions) {
    auto channels = parse_channels(
        "{\n    channel f1 {\n      default = 1\n      segment { length = 0 value = 1 1 expr = "
        "$FSTART }\n    }\n"
        "    channel sop {\n      defaultString = \\\"\\\"\n      start = 0.5\n"
        "      segment { options = {\t autoslope  ai ao }\n\n length = 0 expr = \"{\n    "
        "if(ch('m'))\n"
        "        return chs('file');\n    return 'x';\n}\" }\n    }\n  }\n",
        "t.chn");
    ASSERT_EQ(channels.size(), 2u);
    EXPECT_EQ(channels["f1"].segments[0].expr, "$FSTART");
    EXPECT_EQ(channels["f1"].segments[0].value, (std::vector<double>{1, 1}));
    EXPECT_EQ(channels["sop"].start, 0.5);
    EXPECT_TRUE(channels["sop"].default_string.has_value());
    EXPECT_EQ(channels["sop"].segments[0].expr.substr(0, 7), "{\n    i");

    NodeDef def = parse_def(
        "flags =  lock off bypass on display on\ninputs\n{\n0 \tgrid1 0 1\n1 \t(0) 0 "
        "1\n}\nexprlanguage python\n");
    EXPECT_TRUE(def.bypass);
    EXPECT_EQ(def.exprlanguage, "python");
    EXPECT_FALSE(parse_def("flags =  bypass on lock off bypass off\n").bypass);  // the last
    EXPECT_EQ(def.inputs, (std::vector<std::pair<int, std::string>>{{0, "grid1"}, {1, "(0)"}}));
    Timeline t = parse_start(
        "fps 30\ntcur 1.6333333333333333\ntset -0.033333333333333333 2.8666666666666667\nframe 0 "
        "86\n");
    EXPECT_EQ(t.fps, 30);
    EXPECT_NEAR(t.tstart * t.fps + 1, 0, 1e-9);
}

class MapScope : public ExprScope {
public:
    std::optional<std::string> variable(const std::string& name) override {
        if (name == "F") return "7";
        if (name == "HIP") return "/proj";
        return std::nullopt;
    }
    ExprValue channel(const std::string& path, bool as_string, bool) override {
        if (path == "filemethod") return ExprValue::num(0);
        if (path == "file") return ExprValue::str("/explicit.bgeo");
        return as_string ? ExprValue::str("<" + path + ">") : ExprValue::num(2);
    }
    std::optional<std::string> node_path(const std::string& path) override {
        return path == ".." ? std::optional<std::string>("/obj/geo1") : std::nullopt;
    }
    std::optional<std::string> input_path(const std::string&, int i) override {
        return i == 0 ? std::optional<std::string>("/obj/geo1/grid1") : std::nullopt;
    }
};

TEST(Expressions, MathStringAndNodeFunctionsThatNeedNoCooking) {
    MapScope s;
    EXPECT_NEAR(evaluate("tan(45)", s).number, 1, 1e-12);  // degrees, as the language measures
    EXPECT_NEAR(evaluate("sin(30) + cos(60)", s).number, 1, 1e-12);
    EXPECT_NEAR(evaluate("atan2(1, 1)", s).number, 45, 1e-12);
    EXPECT_NEAR(evaluate("deg(rad(90))", s).number, 90, 1e-12);
    EXPECT_NEAR(evaluate("log10(1000) + exp(0)", s).number, 4, 1e-12);
    EXPECT_EQ(evaluate("sign(-3) + round(2.5)", s).number, 2);
    EXPECT_EQ(evaluate("(3 != 4) + (3 != 3) + (2 <= 2)", s).number, 2);
    EXPECT_EQ(evaluate("argc(\"a \\\"b c\\\" d\")", s).number, 3);
    EXPECT_EQ(evaluate("arg(\"a \\\"b c\\\" d\", 1)", s).as_text(), "b c");
    EXPECT_EQ(evaluate("arg(\"a b\", 5)", s).as_text(), "");
    EXPECT_EQ(evaluate("strmatch(\"*.b?eo\", \"x.bgeo\")", s).number, 1);
    EXPECT_EQ(evaluate("strmatch(\"*.abc\", \"x.bgeo\")", s).number, 0);
    EXPECT_EQ(evaluate("strsplit(\"foo//bar//child/\", \"/\", -2)", s).as_text(), "bar");
    EXPECT_EQ(evaluate("strsplit(\"/geo/sphere\", \"/\", -1)", s).as_text(), "sphere");
    EXPECT_EQ(evaluate("strsplit(\":a:b c;d;e\", \":;\", 100)", s).as_text(), "");
    EXPECT_EQ(evaluate("strsplit(\" a  b \", \"\", 1)", s).as_text(), "b");
    EXPECT_EQ(evaluate("strsplitcount(\":a:b c;d;e\", \":;\")", s).number, 4);
    EXPECT_EQ(evaluate("opinput(\".\", 0)", s).as_text(), "grid1");
    EXPECT_EQ(evaluate("opinput(\".\", 1)", s).as_text(), "");
    EXPECT_EQ(evaluate("opcreator(\"..\")", s).as_text(), "/obj");
    // Outside a copy loop a stamp is its default.
    EXPECT_EQ(evaluate("stamp(\"../copy1\", \"v\", 3)", s).number, 3);
    EXPECT_EQ(evaluate("stamps(\"../copy1\", \"v\", \"d\")", s).as_text(), "d");
    // Outside a task graph's cook a work item attribute reads empty, as the file cache asset
    // relies on: "w" + pdgattrib(...) is what its wedge name evaluates to when wedging is off.
    EXPECT_EQ(evaluate("\"w\" + pdgattrib(\"wedgeindex\", 0)", s).as_text(), "w0");
    EXPECT_EQ(evaluate("pdgattribs(\"name\", 0)", s).as_text(), "");
    EXPECT_EQ(evaluate("pdgattribtype(\"wedgeindex\") + pdgattribsize(\"P\")", s).number, -1);
    EXPECT_THROW(evaluate("pdgattrib()", s), ExprError);
    // What needs cooked geometry is an error that names the function.
    try {
        evaluate("primuv(\"../g\", \"P\", 0, 0.5, 0.5)", s);
        FAIL();
    } catch (const ExprError& e) {
        EXPECT_NE(std::string(e.what()).find("primuv()"), std::string::npos);
    }
}

class NodeScope : public MapScope {
public:
    std::optional<std::string> node_path(const std::string& path) override {
        if (path == "." || path == "/obj/geo1") return "/obj/geo1";
        if (path == "/obj/geo1/.." || path == "..") return "/obj";
        return std::nullopt;
    }
    ExprValue channel(const std::string& path, bool as_string, bool raw) override {
        if (path == "/obj/geo1/mode" || path == "mode") return ExprValue::num(2);
        if (path == "/obj/geo1/file") {
            return ExprValue::str(raw ? "$HIP/a.$F4.bgeo" : "/proj/a.0007.bgeo");
        }
        return MapScope::channel(path, as_string, raw);
    }
};

TEST(PythonExpressions, ReadsOfParametersAreEvaluatedAndNothingIsRun) {
    NodeScope s;
    auto py = [&](const std::string& code) { return evaluate_python(code, s); };
    EXPECT_EQ(py("hou.pwd().parm('mode').eval() * 2 + 1").number, 5);
    EXPECT_EQ(py("hou.pwd().evalParm(\"file\").replace('.bgeo', '.abc')").text, "/proj/a.0007.abc");
    EXPECT_EQ(py("'on' if hou.pwd().evalParm('mode') == 2 else 'off'").text, "on");
    EXPECT_EQ(py("hou.node('/obj/geo1').parm('file').unexpandedString()").text, "$HIP/a.$F4.bgeo");
    EXPECT_EQ(py("'%s_%04d.%s' % (hou.pwd().name(), hou.frame(), 'exr')").text, "geo1_0007.exr");
    EXPECT_EQ(py("hou.ch('mode') > 1 and not hou.getenv('NOPE') is not None").number, 1);
    EXPECT_EQ(py("pwd().parent().path() + '/' + str(int('3') + len('ab'))").text, "/obj/5");
    EXPECT_EQ(evaluate("pythonexprs(\"hou.pwd().name().upper()\")", s).as_text(), "GEO1");
    // Text is sliced and searched as Python does.
    EXPECT_EQ(py("hou.pwd().path()[1:].replace('/', '_')").text, "obj_geo1");
    EXPECT_EQ(py("hou.pwd().path()[-4:] + hou.pwd().path()[1]").text, "geo1o");
    EXPECT_EQ(py("hou.pwd().path()[:-5] + hou.pwd().path()[3:2]").text, "/obj");
    EXPECT_EQ(py("'geo' in hou.pwd().name() and 'x' not in 'abc'").number, 1);
    EXPECT_THROW(py("'ab'[2]"), ExprError);
    // Anything else names what it is and runs nothing.
    const std::pair<const char*, const char*> refused[] = {
        {"__import__('os').system('x')", "__import__"},
        {"import os", "import"},
        {"hou.node('/obj/geo1').shaderString()", "shaderString"},
        {"hou.pwd().inputs()[0]", "inputs"},
        {"open('/etc/passwd').read()", "the name open"},
        {"x = 1\nreturn x", "statements"},
        {"hou.session.value", "session"},
        {"1 +", "ends too soon"}};
    for (const auto& [code, named] : refused) {
        try {
            py(code);
            FAIL() << code;
        } catch (const ExprError& e) {
            EXPECT_NE(std::string(e.what()).find(named), std::string::npos)
                << code << ": " << e.what();
        }
    }
}

TEST(FuzzFindings, ExpressionsThatOnceCrashedAnswerWithAValueOrAnError) {
    MapScope s;
    size_t read = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(SCANFLOW_TEST_DATA) + "/fuzz/expr")) {
        std::string input = testing::read_text(entry.path().string());
        try {
            (void)expand(input, s);
        } catch (const std::exception&) {
        }
        ++read;
    }
    EXPECT_GE(read, 2u);
    EXPECT_EQ(evaluate("padzero(1e30, 7)", s).as_text().size(), 60u);  // widths are bounded
    EXPECT_EQ(evaluate("padzero(3, 1e30)", s).as_text(), "1000000000000000019884624838656");
    // Balanced, so that only the bound on nesting can refuse them.
    std::string nots;
    for (int i = 0; i < 1100; ++i) nots += "not ";
    for (const std::string& deep : {std::string(400, '(') + "1" + std::string(400, ')'),
                                    std::string(1100, '-') + "1", nots + "1"}) {
        try {
            evaluate_python(deep, s);
            FAIL() << deep.substr(0, 20);
        } catch (const ExprError& e) {
            EXPECT_NE(std::string(e.what()).find("nested deeper than 1000 levels"),
                      std::string::npos);
        }
    }
    EXPECT_EQ(evaluate_python(std::string(100, '(') + "1" + std::string(100, ')'), s).number, 1);
}

TEST(Expressions, HscriptAsScenesWriteIt) {
    MapScope s;
    EXPECT_EQ(evaluate("1 + 2 * 3 - 4 / 2", s).number, 5);
    EXPECT_EQ(evaluate("2 ^ 3 ^ 2", s).number, 512);
    EXPECT_EQ(evaluate("\"a\" + 1 + \"b\"", s).as_text(), "a1b");
    EXPECT_EQ(evaluate("ch(\"x\") * $F", s).number, 14);
    EXPECT_EQ(evaluate("padzero(4, $F)", s).as_text(), "0007");
    EXPECT_EQ(evaluate("ifs(ch(\"t\") > 1, \".\" + padzero(3, $F), \"\")", s).as_text(), ".007");
    EXPECT_EQ(evaluate("strreplace(\"a_b_c\", \"_\", \"/\")", s).as_text(), "a/b/c");
    EXPECT_EQ(evaluate("opname(\"..\")", s).as_text(), "geo1");
    EXPECT_EQ(evaluate("\"$HIP/x\"", s).as_text(), "/proj/x");
    EXPECT_EQ(evaluate("'$HIP/x'", s).as_text(), "$HIP/x");
    EXPECT_EQ(evaluate("{\n    if(ch('filemethod'))\n    {\n        return chs('file');\n    }\n   "
                       " else\n    {\n"
                       "        return chs('cachedir') + '/' + chs('cachename');\n    }\n}",
                       s)
                  .as_text(),
              "<cachedir>/<cachename>");
    EXPECT_EQ(evaluate("{ float n = 2; n += 3; return n * 2; }", s).number, 10);
    // The branch not taken reads a local that only it assigns.
    EXPECT_EQ(evaluate("{ if (0) { raw = 2; raw = rint(raw); return raw; } else { return 1; } }", s)
                  .number,
              1);
    // A bare word is a string: the render node's own defaults name channels so.
    EXPECT_EQ(evaluate("strlen(vm_maxraysamples) + 1", s).number, 17);
    EXPECT_EQ(expand("$HIP/geo/${HIP}x.`padzero(3,$F)`.$UNKNOWN.bgeo", s),
              "/proj/geo//projx.007.$UNKNOWN.bgeo");
    EXPECT_THROW(evaluate("pythonexprs(\"hou.pwd()\")", s), ExprError);
    EXPECT_THROW(evaluate("@pdg_index", s), ExprError);
    EXPECT_THROW(evaluate("point(0, 0, \"P\", 0)", s), ExprError);
    EXPECT_THROW(evaluate(std::string(5000, '(') + "1", s), ExprError);  // deep, but no crash
}

class CorpusScene : public ::testing::Test {
protected:
    void load(const std::string& name) {
        host_ = make_hip_host(Environment::of({}));
        path_ = std::string(SCANFLOW_TEST_DATA) + "/hip/" + name;
        host_->load_hip(path_);
    }
    std::string dir() const { return std::string(SCANFLOW_TEST_DATA) + "/hip"; }
    std::shared_ptr<Host> host_;
    std::string path_;
};

TEST_F(CorpusScene, MantraNodeOfAnOutputScene) {
    load("test_parameters.hip");
    EXPECT_EQ(host_->applicationVersionString(), "18.5.732");
    EXPECT_EQ(host_->applicationVersion(), (std::vector<int>{18, 5, 732}));
    NodePtr rop = host_->node("/out/mantra1");
    ASSERT_TRUE(rop);
    EXPECT_EQ(rop->type_name(), "ifd");
    EXPECT_FALSE(rop->isBypassed());
    EXPECT_EQ(rop->evalParm("f1").as_float(), 1);    // $FSTART, from the global range
    EXPECT_EQ(rop->evalParm("f2").as_float(), 240);  // $FEND
    EXPECT_EQ(rop->evalParm("f3").as_int(), 1);
    EXPECT_EQ(rop->evalParm("trange").as_int(), 0);  // "off"
    EXPECT_EQ(rop->parm("trange")->menuLabels().size(), 3u);
    EXPECT_EQ(rop->evalParm("res_overridey").as_int(), 720);
    EXPECT_EQ(rop->evalParm("vm_picture").str(),
              dir() + "/render/test_parameters.mantra1.0001.exr");
    EXPECT_EQ(rop->parm("vm_picture")->unexpandedString(), "$HIP/render/$HIPNAME.$OS.$F4.exr");
    host_->setFrame(12);
    EXPECT_EQ(rop->evalParm("vm_picture").str(),
              dir() + "/render/test_parameters.mantra1.0012.exr");
    EXPECT_EQ(rop->type_library_path(), "/opt/sidefx/hfs18.5.732/houdini/otls/OPlibDriver.hda");
    EXPECT_EQ(rop->parmTuple("f")->eval().items().size(), 3u);
    EXPECT_EQ(host_->node("/tasks/topnet1")->type_name(), "topnet");
    EXPECT_EQ(host_->node("/obj/none"), nullptr);
    EXPECT_EQ(host_->getenv("HIPNAME"), "test_parameters");
}

TEST_F(CorpusScene, AssetLibrariesAndLockedContents) {
    load("houflipbook_example.hip");
    NodePtr flipbook = host_->node("/obj/flipbook1");
    ASSERT_TRUE(flipbook);
    EXPECT_EQ(flipbook->type_name(), "minami110::flipbook");
    EXPECT_EQ(flipbook->type_library_path(), dir() + "/otls/object_flipbook.hda");
    EXPECT_EQ(host_->node("/obj/topnet1/flipbook1")->type_library_path(),
              dir() + "/otls/top_flipbook.hda");
    EXPECT_TRUE(
        host_->node("/obj/testgeometry_pighead1/testgeometry_pighead1")->isInsideLockedHDA() ==
        false);
    EXPECT_EQ(host_->node("/obj/geo1"), nullptr);
    std::vector<NodePtr> all = host_->node("/")->allSubChildren();
    EXPECT_GT(all.size(), 10u);
    // The walk that holds no node visits the same nodes in the same order, locked contents too.
    std::vector<std::string> listed, visited;
    for (auto& node : all) listed.push_back(node->path() + " " + node->type_name());
    host_->node("/")->for_each_below(
        [&](Node& node) { visited.push_back(node.path() + " " + node.type_name()); });
    EXPECT_EQ(visited, listed);
}

TEST_F(CorpusScene, FileParametersEvaluateAgainstTheScenesLocation) {
    load("crowd_city.hip");
    NodePtr map = host_->node("/obj/geo_main/attribfrommap1");
    ASSERT_TRUE(map);
    EXPECT_EQ(map->evalParm("filename").str(), dir() + "/map.jpg");
    EXPECT_EQ(map->evalParm("use_file").as_int(), 1);
    auto ancestors = host_->node("/obj/geo_main/polyextrude1")->inputAncestors();
    EXPECT_FALSE(ancestors.empty());
    // A cook-local variable cannot be evaluated here: the error names node and parameter.
    try {
        host_->node("/obj/geo_main/attribcreate1")->evalParm("value1v1");
        FAIL();
    } catch (const HostError& e) {
        EXPECT_NE(std::string(e.what()).find("/obj/geo_main/attribcreate1"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("$CR"), std::string::npos);
    }
}

TEST(HipHost, TemplatesNameAndTypeParametersAsTheHostDoes) {
    testing::TempDir dir;
    auto members = kMembers;
    members.emplace_back("out/mantra1.init", "type = ifd\nmatchesdef = 0\n");
    members.emplace_back("out/mantra1.parm",
                         "{\nversion 0.8\nf\t[ 0\tlocks=0 ]\t(\t1\t240\t1\t)\n"
                         "vm_samples\t[ 0\tlocks=0 ]\t(\t4\t5\t)\n"
                         "spare_vec\t[ 0\tlocks=0 ]\t(\t1\t2\t3\t)\n"
                         "spare_pair\t[ 0\tlocks=0 ]\t(\t7\t8\t)\n"
                         "spare_mode\t[ 0\tlocks=0 ]\t(\t\"far\"\t)\n"
                         "spare_note\t[ 0\tlocks=0 ]\t(\t\"b\"\t)\n}\n");
    // Saved by a version that knew none of the parameters the analysis reads.
    members.emplace_back("out/bare.init", "type = ifd\nmatchesdef = 0\n");
    members.emplace_back("out/bare.parm", "{\nversion 0.8\n}\n");
    members.emplace_back("out/cache.init", "type = filecache::2.0\nmatchesdef = 0\n");
    members.emplace_back("out/cache.parm",
                         "{\nversion 0.8\nfilemethod\t[ 0\tlocks=0 ]\t(\t\"explicit\"\t)\n}\n");
    members.emplace_back(
        "out/mantra1.spareparmdef",
        "    parm {\n        name    \"spare_vec\"\n        type    vector\n"
        "        size    3\n        default { \"0\" \"0\" \"0\" }\n    }\n"
        "    parm {\n        name    \"spare_pair\"\n        type    integer\n"
        "        size    2\n    }\n"
        "    parm {\n        name    \"spare_note\"\n        type    string\n"
        "        default { \"$HIP/notes.txt\" }\n        menu { \"a\" \"A\" \"b\" \"B\" }\n    }\n"
        "    parm {\n        name    \"spare_mode\"\n        type    ordinal\n"
        "        menu {\n            \"near\" \"Near\"\n            \"far\" \"Far\"\n        }\n   "
        " }\n"
        "    parm {\n        name    \"vm_picture\"\n        baseparm\n    }\n");
    auto host = make_hip_host(Environment::of({}));
    host->load_hip(dir.write("t.hip", cpio(members)));
    NodePtr rop = host->node("/out/mantra1");
    ASSERT_TRUE(rop);
    // The catalogue: a render node's frame range is three floats, its samples a pair named x y.
    EXPECT_EQ(rop->evalParm("f1").kind(), Value::Kind::Float);
    EXPECT_EQ(rop->evalParm("f2").str(), "240.0");
    EXPECT_EQ(rop->evalParm("vm_samplesy").as_int(), 5);
    EXPECT_EQ(rop->evalParm("vm_samplesy").kind(), Value::Kind::Int);
    EXPECT_EQ(rop->evalParm("vm_volumequality").as_float(), 1.0);  // not saved: the default
    // The scene's own templates name and type its spare parameters.
    EXPECT_EQ(rop->evalParm("spare_vecz").kind(), Value::Kind::Float);
    EXPECT_EQ(rop->evalParm("spare_vecz").as_float(), 3.0);
    EXPECT_EQ(rop->evalParm("spare_pair2").as_int(), 8);
    // An ordinal menu's token reads as its index and offers its labels; a string menu's does not.
    EXPECT_EQ(rop->evalParm("spare_mode").as_int(), 1);
    EXPECT_EQ(rop->parm("spare_mode")->menuLabels(), (std::vector<std::string>{"Near", "Far"}));
    EXPECT_EQ(rop->evalParm("spare_note").str(), "b");
    EXPECT_FALSE(rop->parm("vm_missing"));

    // What a scene did not save reads as the host's default, tuples and frame ranges included.
    NodePtr bare = host->node("/out/bare");
    EXPECT_EQ(bare->evalParm("vm_samplesx").as_int(), 3);
    EXPECT_EQ(bare->evalParm("vm_maxraysamples").as_int(), 9);
    EXPECT_EQ(bare->evalParm("f1").str(), "1.0");  // $FSTART of the scene
    EXPECT_EQ(bare->evalParm("f3").str(), "1.0");
    EXPECT_EQ(bare->evalParm("trange").as_int(), 0);
    EXPECT_EQ(bare->evalParm("camera").str(), "/obj/cam1");
    EXPECT_EQ(bare->parmTuple("vm_samples")->eval().items().size(), 2u);
    EXPECT_FALSE(bare->parm("res_overridex"));  // default not known: not there
    // A cache node's menus are its own.
    NodePtr cache = host->node("/out/cache");
    EXPECT_EQ(cache->evalParm("filemethod").as_int(), 1);
    EXPECT_EQ(cache->evalParm("loadfromdisk").as_int(), 0);
}

TEST(HipHost, TheCatalogueReadsItsNotationAndCoversTheTypesTheAnalysisNames) {
    Catalogue c = read_catalogue(
        "group g { parm f float 3 $FSTART $FEND 1 }\n"
        "type a b { use g menu mode - { x \"Ex\" y \"Why (not)\" } parm s string 1 - }\n");
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c["b"]["f"].size, 3u);
    EXPECT_EQ(c["b"]["f"].defaults.back(), "1");
    EXPECT_EQ(c["a"]["mode"].menu_labels, (std::vector<std::string>{"Ex", "Why (not)"}));
    EXPECT_TRUE(c["a"]["mode"].defaults.empty());
    EXPECT_TRUE(c["a"]["s"].defaults.empty());
    EXPECT_THROW(read_catalogue("type a { use nowhere }"), std::logic_error);
    EXPECT_THROW(read_catalogue("type a { parm f float 1"), std::logic_error);

    // Every render, output, cache and simulation type the analysis names has its frame range;
    // the render types with a camera have it too.
    const Catalogue& known = node_catalogue();
    std::vector<std::string> named = render_node_types();
    named.insert(named.end(), geometry_output_types().begin(), geometry_output_types().end());
    named.insert(named.end(), cache_parent_types().begin(), cache_parent_types().end());
    named.push_back("hq_sim");
    for (const std::string& type : named) {
        ASSERT_TRUE(known.count(type)) << type;
        EXPECT_EQ(known.at(type).at("f").size, 3u) << type;
    }
    for (const auto& [type, parm] :
         std::vector<std::pair<std::string, std::string>>{{"ifd", "camera"},
                                                          {"arnold", "camera"},
                                                          {"Redshift_ROP", "RS_renderCamera"},
                                                          {"vray_renderer", "render_camera"},
                                                          {"opengl", "camera"},
                                                          {"hdprman", "camera"},
                                                          {"karma", "camera"}})
        EXPECT_TRUE(known.at(type).count(parm)) << type;
}

TEST(HipHost, FileCacheNodesWriteThroughDriversOnlyTheHostSees) {
    EXPECT_TRUE(holds_output_drivers("filecache"));
    EXPECT_TRUE(holds_output_drivers("filecache::2.0"));
    EXPECT_FALSE(holds_output_drivers("rop_geometry"));  // a driver itself, which we see
}

TEST(HipHost, ASceneLoadedByARelativePathHasAnAbsoluteLocation) {
    testing::TempDir dir;
    std::string scene =
        dir.write("shots/a.hip",
                  testing::read_text(std::string(SCANFLOW_TEST_DATA) + "/hip/test_parameters.hip"));
    EXPECT_FALSE(make_hip_host(Environment::of({}))->refusal(scene));
    std::string cwd = std::filesystem::current_path().string();
    std::filesystem::current_path(testing::fs_path(dir.file("shots")));
    auto host = make_hip_host(Environment::of({}));
    try {
        host->load_hip("./a.hip");
    } catch (const LoadWarning&) {
    }
    std::filesystem::current_path(cwd);
    std::string hip = host->getenv("HIP").value_or("");
    for (char& c : hip)
        if (c == '\\') c = '/';
    EXPECT_EQ(hip, dir.file("shots"));
}

TEST(HipHost, LowerTierScenesAreRefusedNamingTierAndVersionAndDamageIsAWarning) {
    testing::TempDir dir;
    auto host = make_hip_host(Environment::of({}));
    const std::string data = std::string(SCANFLOW_TEST_DATA) + "/hip/licensed/";
    const std::pair<std::string, std::string> tiers[] = {
        {data + "test_rop_render.hiplc",
         "is a limited-commercial scene (.hiplc, saved by Houdini 20.0.486)"},
        {data + "rs_resolution_test.hipnc",
         "is a non-commercial scene (.hipnc, saved by Houdini 17.0.506)"},
        {dir.write("bare.hip", std::string("HouLC\x1a", 6) + "1033600baa067603cc609a7e597d"),
         "is a limited-commercial scene (.hiplc, saved by an unknown version)"}};
    for (const auto& [path, words] : tiers) {
        // Asked before a load, the host says why it would refuse the scene.
        EXPECT_EQ(host->refusal(path).value_or("").find(path + " " + words), 0u) << path;
        try {
            host->load_hip(path);
            FAIL() << path;
        } catch (const LoadWarning&) {
            FAIL() << "a refusal is no warning";
        } catch (const HostError& e) {
            std::string message = e.what();
            EXPECT_EQ(message.find(path + " " + words), 0u) << message;
            EXPECT_NE(message.find("run the analysis inside the host application"),
                      std::string::npos);
        }
    }
    // A section that cannot be parsed costs its node those values only.
    auto damaged = kMembers;
    damaged.emplace_back("obj/bad.init", "type = geo\nmatchesdef = 0\n");
    damaged.emplace_back("obj/bad.parm", "{\nversion 0.8\nfile\t[ 0\tlocks=0 ]\t(\t{ x\n");
    damaged.emplace_back("obj/geo2.init", "type = geo\nmatchesdef = 0\n");
    damaged.emplace_back("obj/geo2.parm",
                         "{\nversion 0.8\nfile\t[ 0\tlocks=0 ]\t(\t/b.abc\t)\n}\n");
    std::string hurt = dir.write("hurt.hip", cpio(damaged));
    try {
        host->load_hip(hurt);
        FAIL() << "no warning";
    } catch (const LoadWarning& w) {
        std::string message = w.what();
        EXPECT_NE(message.find(hurt), std::string::npos) << message;
        EXPECT_NE(message.find("bad.parm"), std::string::npos) << message;
        EXPECT_NE(message.find("/obj/bad loads without its parameter values"), std::string::npos);
    }
    ASSERT_TRUE(host->node("/obj/bad"));
    EXPECT_TRUE(host->node("/obj/bad")->parms().empty() || !host->node("/obj/bad")->parm("file"));
    EXPECT_EQ(host->node("/obj/geo2")->evalParm("file").str(), "/b.abc");
    EXPECT_EQ(host->node("/obj/geo1")->evalParm("file").str(), dir.path() + "/a.bgeo");

    std::string whole = cpio(kMembers);
    std::string cut = dir.write("cut.hip", whole.substr(0, whole.size() - 20));
    EXPECT_THROW(host->load_hip(cut), LoadWarning);
    EXPECT_EQ(host->applicationVersionString(), "19.5.605");  // what was read stays loaded
    ASSERT_TRUE(host->node("/obj/geo1"));
    EXPECT_EQ(host->node("/obj/geo1")->evalParm("file").str(), dir.path() + "/a.bgeo");
}

}  // namespace
}  // namespace scanflow::hip

namespace scanflow::hip {
namespace {

TEST(HipGeometry, BothEncodingsAndTheCompressedContainer) {
    std::string dir = std::string(SCANFLOW_TEST_DATA) + "/geo/";
    auto host = make_hip_host(Environment::of({}));
    for (const char* name : {"laika_packed_disk.geo", "laika_packed_disk.bgeo"}) {
        GeometryPtr geo = host->load_geometry(dir + name);
        ASSERT_EQ(geo->prims().size(), 1u) << name;
        EXPECT_EQ(geo->prims()[0]->attribValue("path").str(), "sphere.bgeo") << name;
        EXPECT_EQ(geo->pointAttribs(), (std::vector<std::string>{"P"})) << name;
    }
    GeometryPtr sc = host->load_geometry(dir + "gdt_delete_small_parts_demoscene.1.bgeo.sc");
    EXPECT_GT(sc->points().size(), 0u);
    std::string bytes = read_geometry_bytes(dir + "gdt_delete_small_parts_demoscene.1.bgeo.sc");
    EXPECT_EQ(bytes.substr(0, 5), std::string("\x7fNSJb", 5));
    testing::TempDir tmp;
    std::string whole = bytes;
    std::string cut = tmp.write("cut.bgeo", whole.substr(0, whole.size() / 2));
    EXPECT_THROW(host->load_geometry(cut), ParseError);
}

}  // namespace
}  // namespace scanflow::hip

namespace scanflow::hip {
namespace {

// A scene of one null node /obj/n with the given .parm and .chn sections.
std::string one_node_scene(const testing::TempDir& dir, const std::string& parm,
                           const std::string& chn) {
    return dir.write("n.hip", cpio({{".start", "fps 10\ntcur 0\ntset 0 2\n"},
                                    {"obj/n.init", "type = null\n"},
                                    {"obj/n.parm", parm},
                                    {"obj/n.chn", chn}}));
}

// Parameters p0..p<count - 1>, each a channel with the expression `expr(i)`.
std::string expression_scene(const testing::TempDir& dir, int count,
                             const std::function<std::string(int)>& expr,
                             const std::string& language) {
    std::string parm = "{\nversion 0.8\n", chn = "{\n";
    for (int i = 0; i < count; ++i) {
        std::string name = "p" + std::to_string(i);
        parm += name + "\t[ 0\tlocks=0 ]\t(\t[ " + name + "\t0 ] \t)\n";
        chn += "    channel " + name + " {\n      segment { length = 0 expr = \"" + expr(i) +
               "\" language = " + language + " }\n    }\n";
    }
    return one_node_scene(dir, parm + "}\n", chn + "  }\n");
}

TEST(EvaluationBudget, AParameterReadTwiceIsEvaluatedOnce) {
    testing::TempDir dir;
    // Without a memo, p0 would cost 4^20 evaluations, far beyond the budget of steps.
    auto host = make_hip_host(Environment::of({}));
    host->load_hip(expression_scene(
        dir, 21,
        [](int i) {
            std::string next = "ch(\\\"p" + std::to_string(i + 1) + "\\\")";
            return i == 20 ? std::string("1") : next + "+" + next + "+" + next + "+" + next;
        },
        "hscript"));
    EXPECT_DOUBLE_EQ(host->node("/obj/n")->evalParm("p0").as_float(), std::ldexp(1.0, 40));
}

TEST(EvaluationBudget, NestingIsBoundedAcrossEvaluatorsAndReferences) {
    testing::TempDir dir;
    // Ten Python expressions, each within its own bound, reading one another.
    auto host = make_hip_host(Environment::of({}));
    host->load_hip(expression_scene(
        dir, 11,
        [](int i) {
            return i == 10 ? std::string("1")
                           : std::string(330, '(') + "ch('p" + std::to_string(i + 1) + "')" +
                                 std::string(330, ')');
        },
        "python"));
    try {
        host->node("/obj/n")->evalParm("p0");
        ADD_FAILURE() << "3,300 levels were evaluated";
    } catch (const HostError& e) {
        EXPECT_NE(std::string(e.what()).find("nested deeper than 1000 levels"), std::string::npos);
    }
    EXPECT_DOUBLE_EQ(host->node("/obj/n")->evalParm("p9").as_float(), 1);  // one is within it
    // If statements nest through their branches.
    MapScope s;
    std::string ifs = "{ ";
    for (int i = 0; i < 20000; ++i) ifs += "if (1) ";
    EXPECT_THROW(evaluate(ifs + "return 1; }", s), ExprError);
    EXPECT_EQ(evaluate("{ if (1) if (0) return 2; else return 3; }", s).number, 3);
}

TEST(EvaluationBudget, ValuesAreRefusedBeforeTheyGrowPastTheirBudget) {
    MapScope s;
    std::string doubling = "{ string x = \"abcdefgh\"; ";
    for (int i = 0; i < 48; ++i) doubling += "x += x; ";
    std::string nested = "\"abc\"";
    for (int i = 0; i < 40; ++i) nested = "strreplace(" + nested + ", \"a\", \"aaaaaaaa\")";
    std::string replaced = "'a'";
    for (int i = 0; i < 14; ++i) replaced += ".replace('a', 'aaaaaaaaaa')";
    for (const auto& [code, python] : {std::pair{doubling + "return x; }", false},
                                       std::pair{nested, false}, std::pair{replaced, true}}) {
        try {
            (void)(python ? evaluate_python(code, s) : evaluate(code, s));
            ADD_FAILURE() << code.substr(0, 40);
        } catch (const ExprError& e) {
            EXPECT_NE(std::string(e.what()).find("an evaluation may build"), std::string::npos)
                << e.what();
        }
    }
    EXPECT_EQ(evaluate("strreplace(\"abc\", \"a\", \"xy\")", s).as_text(), "xybc");
}

TEST(Channels, KeyframedSegmentsInterpolate) {
    testing::TempDir dir;
    // fps 10: frame 1 is time 0, frame 11 time 1.
    std::string chn =
        "{\n    channel a {\n      segment { length = 1 value = 0 10 expr = linear() }\n"
        "      segment { length = 0 value = 10 10 expr = constant() }\n    }\n"
        "    channel b {\n      segment { length = 1 value = 0 10 slope = 0 0 expr = bezier() }\n  "
        "  }\n"
        "    channel c {\n      segment { length = 1 value = 0 10 expr = ease() }\n    }\n  }\n";
    std::string parm =
        "{\nversion 0.8\na\t[ 0\tlocks=0 ]\t(\t[ a\t0 ] \t)\nb\t[ 0\tlocks=0 ]\t(\t[ b\t0 ] \t)\n"
        "c\t[ 0\tlocks=0 ]\t(\t[ c\t0 ] \t)\n}\n";
    std::string path = one_node_scene(dir, parm, chn);
    auto host = make_hip_host(Environment::of({}));
    host->load_hip(path);
    NodePtr n = host->node("/obj/n");
    host->setFrame(6);  // halfway through the first segment
    EXPECT_DOUBLE_EQ(n->evalParm("a").as_float(), 5);
    EXPECT_DOUBLE_EQ(n->evalParm("b").as_float(), 5);  // flat tangents: symmetric
    EXPECT_DOUBLE_EQ(n->evalParm("c").as_float(), 5);
    host->setFrame(3.5);  // a quarter in
    EXPECT_DOUBLE_EQ(n->evalParm("a").as_float(), 2.5);
    EXPECT_NEAR(n->evalParm("b").as_float(), 1.5625, 1e-9);
    EXPECT_NEAR(n->evalParm("c").as_float(), 1.5625, 1e-9);
    host->setFrame(30);  // after the last key
    EXPECT_DOUBLE_EQ(n->evalParm("a").as_float(), 10);
    EXPECT_THROW(n->parm("a")->unexpandedString(), HostError);  // keyframes, as the host says
}

TEST(HipHost, AParameterRevertsToItsLoadedValueAfterAnyChanges) {
    testing::TempDir dir;
    std::string parm =
        "{\nversion 0.8\nt\t[ 0\tlocks=0 ]\t(\t\"on\"\t)\n"
        "f\t[ 0\tlocks=0 ]\t(\t\"$HIP/a.png\"\t)\nc\t[ 0\tlocks=0 ]\t(\t[ c\t0 ] \t)\n}\n";
    std::string chn = "{\n    channel c {\n      segment { length = 0 expr = 5 }\n    }\n  }\n";
    auto host = make_hip_host(Environment::of({}));
    host->load_hip(one_node_scene(dir, parm, chn));
    NodePtr n = host->node("/obj/n");
    ParmPtr t = n->parm("t"), f = n->parm("f"), c = n->parm("c");
    // The same text set again is a text of its own: a saved "on" reads as 1, a set one as "on".
    t->set(Value::text("on"));
    EXPECT_EQ(n->evalParm("t").str(), "on");
    t->set(Value::text("off"));
    t->revertToDefaults();
    EXPECT_EQ(n->evalParm("t").as_int(), 1);
    t->revertToDefaults();
    EXPECT_EQ(n->evalParm("t").as_int(), 1);
    // Set away, back to the loaded text, away again: the loaded text comes back.
    f->set(Value::text("x.png"));
    f->set(Value::text("$HIP/a.png"));
    EXPECT_EQ(n->evalParm("f").str(), dir.path() + "/a.png");
    f->set(Value::text("y.png"));
    EXPECT_EQ(n->evalParm("f").str(), "y.png");
    f->revertToDefaults();
    EXPECT_EQ(f->unexpandedString(), "$HIP/a.png");
    // A value set over a channel goes, and the channel comes back.
    c->set(Value::integer(2));
    EXPECT_EQ(n->evalParm("c").as_int(), 2);
    c->revertToDefaults();
    EXPECT_DOUBLE_EQ(n->evalParm("c").as_float(), 5);
}

}  // namespace
}  // namespace scanflow::hip

namespace scanflow::hip {
namespace {

std::string take_record(const std::string& text) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[static_cast<size_t>(i)] = static_cast<char>((text.size() >> (8 * (3 - i))) & 0xff);
    return out + text;
}

TEST(Takes, TheSavedTakeOverridesParameters) {
    std::string parm =
        "{\nversion 0.8\nvm_picture\t[ 0\tlocks=0 ]\t(\t$HIP/main.exr\t)\nf\t[ 0\tlocks=0 "
        "]\t(\t1\t240\t1\t)\n}\n";
    std::string takes =
        "HoudiniTakeFile 1.0\ntake name Main kids 1\n" + take_record("s 0 /out/r") +
        take_record("s 1 vm_picture") + take_record("d 0 1") + take_record(parm) +
        take_record("e\n") + "take name hires kids 1\n" + take_record("d 0 1") +
        take_record("{\nversion 0.8\nvm_picture\t[ 0\tlocks=0 ]\t(\t$HIP/hires.exr\t)\n}\n") +
        take_record("e\n") + "take name final kids 0\n" + take_record("d 0 1") +
        take_record("{\nversion 0.8\nf\t[ 0\tlocks=0 ]\t(\t1001\t1100\t1\t)\n}\n") +
        take_record("e\n");
    for (const auto& [current, picture, first] :
         std::vector<std::tuple<std::string, std::string, int>>{
             {"Main", "/main.exr", 1}, {"hires", "/hires.exr", 1}, {"final", "/hires.exr", 1001}}) {
        std::vector<std::pair<std::string, std::string>> members{
            {".start", "fps 24\ntcur 0\ntset 0 10\n"},
            {"out/r.init", "type = ifd\n"},
            {"out/r.parm", parm},
            {".takes", takes},
            {".cwd", "opcf /\ntakeset " + current + "\n"}};
        testing::TempDir dir;
        std::string path = dir.write("t.hip", cpio(members));
        auto host = make_hip_host(Environment::of({}));
        host->load_hip(path);
        NodePtr r = host->node("/out/r");
        EXPECT_EQ(r->evalParm("vm_picture").str(), dir.path() + picture) << current;
        EXPECT_EQ(r->evalParm("f1").as_int(), first) << current;
        // The take's values are the loaded ones a parameter reverts to.
        ParmPtr f1 = r->parm("f1");
        f1->set(Value::integer(7));
        EXPECT_EQ(r->evalParm("f1").as_int(), 7);
        f1->revertToDefaults();
        EXPECT_EQ(r->evalParm("f1").as_int(), first) << current;
    }
}

}  // namespace
}  // namespace scanflow::hip
