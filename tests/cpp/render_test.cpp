#include <gtest/gtest.h>

#include "fake_scene.h"
#include "render/camera.h"
#include "render/camera_tips.h"
#include "render/distributed_sims.h"
#include "render/geometry_outputs.h"
#include "render/record_json.h"
#include "render/render_settings.h"
#include "render/renderer_tips.h"
#include "render/rop_nodes.h"
#include "run/tip_codes.h"
#include "test_support.h"

namespace scanflow {
namespace {

using testing::ConsoleCapture;
using testing::FakeScene;
using testing::TempDir;

class Render : public ::testing::Test {
protected:
    std::vector<RenderNodeRecord> rops(const std::string& platform) {
        tips_ = Tips();
        return get_rop_node_setting(RopScan{*scene_, platform, render_node_types(), tips_});
    }
    testing::FakeNode& camera(const std::string& path) {
        return scene_->add(path, "cam")
            .with("resx", Value::integer(1920))
            .with("resy", Value::integer(1080));
    }
    void SetUp() override {
        for (const char* net : {"/obj", "/out", "/stage", "/tasks"}) scene_->add(net, "net");
    }
    std::shared_ptr<FakeScene> scene_ = std::make_shared<FakeScene>();
    ConsoleCapture capture_;
    Tips tips_;
};

TEST_F(Render, RenderNodesAreRecordedWithFramesCameraSizeAndTheirRenderFlag) {
    camera("/obj/cam1");
    auto mantra = [&](const std::string& path) -> testing::FakeNode& {
        return scene_->add(path, "ifd")
            .with("f1", Value::integer(1001))
            .with("f2", Value::integer(1010))
            .with("f3", Value::integer(2))
            .with("camera", "/obj/cam1")
            .with("override_camerares", Value::integer(0));
    };
    mantra("/out/beauty");
    mantra("/out/bypassed").bypassed = true;
    mantra("/tasks/topnet1/ropnet1/inside");  // a task network renders its own nodes
    auto records = rops("2");
    ASSERT_EQ(records.size(), 2u) << render_nodes_json(records).dump();
    EXPECT_EQ(records[0].node, "/out/beauty");
    EXPECT_EQ(records[0].frames, "1001-1010[2]");
    EXPECT_EQ(records[0].camera, "/obj/cam1");
    EXPECT_EQ(records[0].width, "1920");
    EXPECT_EQ(records[0].render, "1");
    EXPECT_EQ(records[1].render, "0");
    EXPECT_FALSE(tips_.contains(tip::kMissingCamera));
}

TEST_F(Render, GpuTipsOnlyOffTheGpuPlatformsAndOnlyForGpuSettings) {
    scene_->add("/stage/fast", "karmarenderproperties").with("denoiser", "optix");
    scene_->add("/stage/cpu", "karmarenderproperties").with("denoiser", "oidn");
    camera("/obj/cam1");
    auto vray = [&](const std::string& path, int mode, int export_mode) {
        auto& node = scene_->add(path, "vray_renderer")
                         .with("render_camera", "/obj/cam1")
                         .with("SettingsOutput_img_save", Value::integer(1))
                         .with("render_render_mode", Value::integer(mode))
                         .with("render_export_mode", Value::integer(export_mode))
                         .with("SettingsOutput_img_file_path", "$HIP/r.exr");
        node.fake_parm("render_export_mode")->labels = {"Export & Render", "Export", "Render"};
    };
    vray("/out/vray_gpu", 1, 0);
    vray("/out/vray_cpu", 0, 1);
    rops("2");
    ASSERT_TRUE(tips_.contains(tip::kNeedsGpuPlatform)) << testing::listed(tips_);
    std::string gpu;
    for (const auto& message : tips_.messages(tip::kNeedsGpuPlatform)) gpu += message + "\n";
    EXPECT_NE(gpu.find("/stage/fast image filters denoiser"), std::string::npos);
    EXPECT_EQ(gpu.find("/stage/cpu"), std::string::npos);
    EXPECT_NE(gpu.find("/out/vray_gpu Render Device Mode"), std::string::npos);
    EXPECT_EQ(gpu.find("/out/vray_cpu"), std::string::npos);
    ASSERT_TRUE(tips_.contains(tip::kVrayExportMode));
    EXPECT_NE(tips_.messages(tip::kVrayExportMode).at(0).find("/out/vray_cpu"), std::string::npos);
    rops("61");  // a GPU platform
    EXPECT_FALSE(tips_.contains(tip::kNeedsGpuPlatform)) << testing::listed(tips_);
}

TEST_F(Render, ArnoldDenoisingIsCollectedUpToTheLastAov) {
    auto& arnold = scene_->add("/out/arnold1", "arnold")
                       .with("camera", "/obj/cam1")
                       .with("ar_picture", "$HIP/r.exr")
                       .with("ar_AA_samples", Value::integer(3))
                       .with("ar_mb_xform_enable", Value::integer(0))
                       .with("ar_mb_dform_enable", Value::integer(0))
                       .with("ar_denoise", Value::integer(1))
                       .with("ar_denoise_display", Value::integer(0))
                       .with("ar_aovs", Value::integer(2));
    for (const char* name : {"diffuse", "specular", "transmission", "sss", "volume"})
        arnold.with(std::string("ar_GI_") + name + "_samples", Value::integer(2));
    for (const char* n : {"1", "2"}) {
        arnold.with(std::string("ar_enable_aov") + n, Value::integer(1));
        arnold.with(std::string("ar_aov_denoise_enable") + n, Value::integer(n[0] == '2'));
    }
    NodeRenderSetting found = get_render_setting(arnold, "arnold", *scene_);
    EXPECT_EQ(found.denoise, (std::vector<std::string>{"/out/arnold1 ar_denoise",
                                                       "/out/arnold1 ar_aov_denoise_enable2"}));
    EXPECT_EQ(found.renderers, std::vector<std::string>{"HtoA"});
    EXPECT_EQ(found.record.output_path, "$HIP/r.exr");

    Tips tips;
    std::vector<std::string> entries = found.denoise;
    add_denoise_tip(entries, "61", tips);
    EXPECT_TRUE(tips.empty());  // the GPU platforms denoise on the GPU
    add_denoise_tip(entries, "2", tips);
    ASSERT_TRUE(tips.contains(tip::kArnoldGpuDenoise));
    EXPECT_EQ(tips.messages(tip::kArnoldGpuDenoise).size(),
              3u);  // the entries, then the explanation
}

TEST(RendererTips, RenderersTheTaskDoesNotConfigure) {
    std::vector<std::string> plugins{"redshift", "vray"};
    Tips tips;
    add_unconfigured_renderer_tip({"RS", "vray", "RS"}, plugins, tips);
    EXPECT_TRUE(tips.empty()) << testing::listed(tips);  // "redshift" configures "RS"
    EXPECT_EQ(plugins[0], "RS");
    add_unconfigured_renderer_tip({"HtoA", "RS", "HtoA", "renderman"}, plugins, tips);
    ASSERT_TRUE(tips.contains(tip::kUnconfiguredRenderer));
    EXPECT_EQ(tips.messages(tip::kUnconfiguredRenderer).at(0).rfind("HtoA,renderman ", 0), 0u);
}

TEST_F(Render, GeometryOutputsTakeTheCurrentFrameWhenTheyRenderOnlyIt) {
    scene_->current_frame = 12;
    scene_->add("/obj/geo1/out_all", "rop_geometry")
        .with("execute", Value::integer(0))
        .with("trange", Value::integer(1))
        .with("f1", Value::integer(1))
        .with("f2", Value::integer(5))
        .with("f3", Value::integer(1));
    scene_->add("/obj/geo1/out_current", "rop_geometry")
        .with("execute", Value::integer(0))
        .with("trange", Value::integer(0));
    auto records = get_geo_node_setting(*scene_);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].frames, "1-5[1]");
    EXPECT_EQ(records[1].frames, "12-12[1]");
}

TEST_F(Render, AlembicCameraChainsAreSortedByTheFilesTheirNodesRead) {
    TempDir dir;
    std::string archive = dir.write("cam.abc", "abc");
    auto chain = [&](const std::string& root, const std::string& file, const std::string& last) {
        scene_->add(root, "alembicarchive").with("fileName", file);
        scene_->add(root + "/xf", "alembicxform").with("fileName", file);
        scene_->add(root + "/xf/cam", "cam").with("fileName", last);
    };
    chain("/obj/same", archive, archive);
    EXPECT_EQ(abc_find("/obj/same/xf/cam", *scene_).status, "normal");
    chain("/obj/other", archive, dir.file("other.abc"));
    AlembicChain other = abc_find("/obj/other/xf/cam", *scene_);
    EXPECT_EQ(other.status, "diff");
    EXPECT_EQ(alembic_links_json(other.links).dump(),
              Json::object({{"/obj/other", {archive, 1, "exist"}},
                            {"/obj/other/xf", {archive, 1, "exist"}},
                            {"/obj/other/xf/cam", {dir.file("other.abc"), 0, "notexist"}}})
                  .dump());
    chain("/obj/gone", dir.file("gone.abc"), dir.file("gone.abc"));
    EXPECT_EQ(abc_find("/obj/gone/xf/cam", *scene_).status, "miss");
    scene_->add("/obj/short", "alembicarchive").with("fileName", archive);
    scene_->add("/obj/short/cam", "cam").with("fileName", archive);
    EXPECT_EQ(abc_find("/obj/short/cam", *scene_).status, "notfit");  // too short to be a chain
}

}  // namespace
}  // namespace scanflow

namespace scanflow {
namespace {

TEST(DistributedSims, MoreThanSixteenSlicesAndMissingDriversAreTips) {
    auto scene = std::make_shared<testing::FakeScene>();
    testing::ConsoleCapture capture;
    scene->add("/obj", "obj");
    scene->add("/out", "out");
    scene->add("/obj/controls", "null");
    auto sim = [&](const std::string& name, int slices) {
        scene->add("/out/" + name, "hq_sim").with("hq_driver", "/out/" + name + "_geo");
        scene->add("/out/" + name + "_geo", "rop_geometry")
            .with("execute", Value::integer(0))
            .with("sopoutput", "$HIP/sim.$F.bgeo.sc")
            .with("slice_type", "particle")
            .with("num_slices", Value::integer(slices))
            .with("hq_sim_controls", "/obj/controls");
    };
    sim("seventeen", 17);
    sim("sixteen", 16);  // the later tip would replace the earlier
    scene->add("/out/orphan", "hq_sim").with("hq_driver", "/out/nowhere");
    Tips tips;
    auto records = get_distributedsim_node_setting(*scene, tips);
    ASSERT_EQ(records.size(), 2u) << simulations_json(records).dump();
    EXPECT_EQ(records[1].num_slices, "16");
    ASSERT_TRUE(tips.contains(tip::kTooManySlices));
    EXPECT_EQ(tips.messages(tip::kTooManySlices).size(), 1u);
    EXPECT_NE(tips.messages(tip::kTooManySlices)[0].find("/out/seventeen "), std::string::npos);
    ASSERT_TRUE(tips.contains(tip::kMissingOutputDriver));
    EXPECT_NE(tips.messages(tip::kMissingOutputDriver).at(0).find("/out/nowhere"),
              std::string::npos);
    EXPECT_FALSE(tips.contains(tip::kMissingSimControl));
}

}  // namespace
}  // namespace scanflow

namespace scanflow {
namespace {

TEST(CameraTips, AMissingCameraIsAnErrorUnlessAnotherRenderNodeHasAGoodOne) {
    auto scene = std::make_shared<testing::FakeScene>();
    testing::ConsoleCapture capture;
    scene->add("/obj", "obj");
    scene->add("/out", "out");
    scene->add("/obj/cam1", "cam");
    scene->add("/out/good", "ifd").with("camera", "/obj/cam1");
    scene->add("/out/bad", "ifd").with("camera", "/obj/gone");
    Tips tips;
    tips_keyword_info({"/out/good", "/out/bad"}, *scene, tips);
    EXPECT_FALSE(tips.contains(tip::kCameraErrors)) << testing::listed(tips);
    ASSERT_TRUE(tips.contains(tip::kCameraWarnings));
    EXPECT_NE(tips.messages(tip::kCameraWarnings).at(0).find("This camera is not in the .hip file"),
              std::string::npos);
    tips = Tips();
    tips_keyword_info({"/out/bad"}, *scene, tips);
    ASSERT_TRUE(tips.contains(tip::kCameraErrors)) << testing::listed(tips);
    EXPECT_FALSE(tips.contains(tip::kCameraWarnings));
}

}  // namespace
}  // namespace scanflow

namespace scanflow {
namespace {

std::vector<std::string> keys_of(const Json& object) {
    std::vector<std::string> keys;
    for (const auto& item : object.items()) keys.push_back(item.key());
    return keys;
}

using Keys = std::vector<std::string>;

OutputNodeRecord output_node(const std::string& node, std::optional<std::string> frames,
                             bool own_frames_only = false) {
    OutputNodeRecord r;
    r.node = node;
    r.frames = std::move(frames);
    r.own_frames_only = own_frames_only;
    return r;
}

// The task file and the asset record keep the members in the order the client has always read;
// the order differs by renderer and slice type.
TEST(RecordJson, MembersAreWrittenInEachFamilysOrder) {
    RenderNodeRecord vray;
    vray.node = "/out/v";
    vray.vray = VrayOutput{"1", Value::integer(2), "Export", "$HIP/v.exr"};
    Json written = render_nodes_json({vray, RenderNodeRecord{}});
    EXPECT_EQ(keys_of(written[0]),
              (Keys{"node", "frames", "img_save", "render_render_mode", "render_export_mode",
                    "output_path", "camera", "width", "height", "option", "render"}));
    EXPECT_EQ(written[0]["render_render_mode"], 2);  // a number stays a number
    EXPECT_EQ(keys_of(written[1]),
              (Keys{"node", "frames", "camera", "width", "height", "option", "render"}));

    SimulationRecord cluster;
    cluster.slice_type = "cluster";
    cluster.num_slices = "4";
    cluster.sim_control_name = "/obj/c";
    cluster.cluster_filter = "*";
    SimulationRecord volume = cluster;
    volume.slice_type = "volume";
    volume.cluster_filter.reset();
    volume.slice_divisions = std::vector<Value>{Value::integer(2), Value::real(1.5)};
    Json sims = simulations_json({cluster, volume});
    EXPECT_EQ(keys_of(sims[0]),
              (Keys{"node", "output_driver", "output_file", "sliceType", "simControlName",
                    "num_slices", "cluster_filter", "frames", "option", "render"}));
    EXPECT_EQ(keys_of(sims[1]),
              (Keys{"node", "output_driver", "output_file", "sliceType", "slicediv", "num_slices",
                    "simControlName", "frames", "option", "render"}));
    EXPECT_EQ(sims[1]["slicediv"].dump(), "[2,1.5]");

    RenderSetting redshift, arnold;
    redshift.motion_blur = Value::integer(1);
    redshift.samples = NamedValues{{"UnifiedMinSamples", Value::integer(4)}};
    arnold.samples = NamedValues{{"samples_AA", Value::integer(3)}};
    arnold.motion_blur_keys = NamedValues{};
    EXPECT_EQ(keys_of(render_setting_json(redshift)), (Keys{"Motion_Blur", "samples"}));
    EXPECT_EQ(keys_of(render_setting_json(arnold)), (Keys{"samples", "Motion_Blur"}));
    EXPECT_EQ(render_setting_json(arnold)["Motion_Blur"], Json::object());
}

// Output-node records are copies of one working record: a pre/post node drops the frames the
// node before it set, and the frames of the node after it then come last.
TEST(RecordJson, OutputNodesShareOneWorkingRecord) {
    OutputNodeRecord geo = output_node("/out/geo", "1-5[1]"),
                     prepost = output_node("/out/pre", std::nullopt, true),
                     after = output_node("/out/after", "7-7[1]");
    Json written = output_nodes_json({geo, prepost, after});
    EXPECT_EQ(keys_of(written[0]), (Keys{"node", "frames", "option", "render"}));
    EXPECT_EQ(keys_of(written[1]), (Keys{"node", "option", "render"}));
    EXPECT_EQ(keys_of(written[2]), (Keys{"node", "option", "render", "frames"}));
    // A script's own working record lends its members to every record.
    Json shared = output_nodes_json({geo}, Json::object({{"note", "x"}}));
    EXPECT_EQ(keys_of(shared[0]), (Keys{"note", "node", "frames", "option", "render"}));
}

// What a host script hands back is read by the members the analysis knows and written again as
// it was; members of its own beside the scene information are kept.
TEST(RecordJson, AScriptsTaskDictionaryReadsBackAsItWasWritten) {
    SceneInfo info;
    info.rop_node.emplace_back();
    info.rop_node.back().node = "/out/r";
    info.rop_node.back().vray = VrayOutput{"1", Value::text("CUDA"), "Export", "v.exr"};
    info.geo_node.push_back(output_node("/out/pre", std::nullopt, true));
    SimulationRecord sim;
    sim.slice_type = "volume";
    sim.slice_divisions = std::vector<Value>{Value::integer(2)};
    sim.num_slices = "2";
    info.distributedsim_node.push_back(sim);
    TaskRecord task{info, {{"mine", "[1,{\"a\":null}]"}}};
    Json written = task_record_json(task);
    EXPECT_EQ(task_record_json(task_record_from_json(written)).dump(), written.dump());
    EXPECT_EQ(keys_of(written), (Keys{"scene_info", "mine"}));
    // A scene information that is no object is the script's own member.
    TaskRecord odd = task_record_from_json(Json::object({{"scene_info", 3}}));
    EXPECT_FALSE(odd.scene_info.has_value());
    ASSERT_EQ(odd.script_members.size(), 1u);
}

TEST(RecordJson, CameraFindingsAreWrittenByKindAndOnlyWhenPresent) {
    CameraCheck check;
    check.miss.push_back({"/obj/gone", false, {}});
    check.normal.push_back({"/obj/a/x/cam", true, {{"/obj/a", "a.abc", true, true}}});
    Json written = camera_check_json(check);
    EXPECT_EQ(written.dump(),
              R"({"normal":[{"/obj/a":["a.abc",1,"exist"]}],"miss":[{"/obj/gone":"notexist"}]})");
    EXPECT_EQ(camera_check_json(CameraCheck{}), Json::object());
}

TEST(RenderSettingsByName, ANameMetAgainKeepsItsPlaceAndTakesTheLaterSettings) {
    RenderSettingsByName settings;
    RenderSetting first, second, other;
    first.camera = "/obj/a";
    second.camera = "/obj/b";
    settings.set("r", first);
    settings.set("s", other);
    settings.set("r", second);
    ASSERT_EQ(settings.entries().size(), 2u);
    EXPECT_EQ(settings.entries()[0].first, "r");
    EXPECT_EQ(settings.entries()[0].second.camera, "/obj/b");
    EXPECT_EQ(render_settings_json(settings).dump(), R"({"r":{"camera":"/obj/b"},"s":{}})");
}

}  // namespace
}  // namespace scanflow
