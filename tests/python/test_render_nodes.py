"""Render, geometry-output and simulation nodes, cameras, tips and dependency tasks, end to end."""

import hipwrite
import pytest
from conftest import base_env

CAM = {"path": "/obj/cam1", "type": "cam", "parms": {"resx": 1920, "resy": 1080}}


def rop(path, type_, **parms):
    base = {"f1": 1001, "f2": 1100, "f3": 1}
    base.update(parms)
    return {"path": path, "type": type_, "parms": base}


def abc_chain(root, files):
    archive, xform, cam = files
    return [
        {"path": root, "type": "alembicarchive", "parms": {"fileName": archive}},
        {"path": root + "/xform1", "type": "alembicxform", "parms": {"fileName": xform}},
        {"path": root + "/xform1/cam1", "type": "cam", "parms": {"fileName": cam, "resx": 640, "resy": 480}},
    ]


def analyse(run_cli, project, nodes, platform="2", task=None, host="hou", **extra):
    description = {"nodes": [{"path": "/obj", "type": "obj"}, {"path": "/out", "type": "out"}] + nodes}
    description.update(extra)
    if task is not None:
        project.task(task)
    if host == "hou":
        scene = project.scene(description)
    else:
        scene = project.root / "shot.hip"
        hipwrite.write_cpio(scene, description)
    run = run_cli("-channel", "web", "-file", scene, "-path_json", project.out, "-plugin_server_dir", "/p",
                  "-user_id", "1", "-platform", platform,
                  env=base_env(SCANFLOW_HOST=host, HH=str(project.root / "hfs")))
    assert run.code == 0, run.out[-4000:]
    return run, project.read("task.json")["scene_info"], project.read("tips.json"), project.read("asset.json")


def test_render_families_and_their_records(run_cli, project):
    nodes = [CAM,
             rop("/out/mantra1", "ifd", camera="/obj/cam1", vm_picture="$HIP/render/a.$F4.exr",
                 override_camerares=1, res_overridex=1280, res_overridey=720,
                 **{"vm_" + n: 3 for n in ("samplesy", "samplesx", "minraysamples", "maxraysamples", "variance",
                                           "globalquality", "diffusequality", "sssquality", "reflectionquality",
                                           "refractionquality", "volumequality")}),
             rop("/out/rs", "Redshift_ROP", RS_renderCamera="/obj/cam1", RS_overrideCameraRes=0,
                 RS_outputFileNamePrefix="$HIP/rs.$F4.exr", MotionBlurEnabled=1, UnifiedMinSamples=4,
                 UnifiedMaxSamples=16, MaxTraceDepthReflection=2, MaxTraceDepthRefraction=2,
                 MaxTraceDepthCombined=4, RS_archive_enable=0),
             rop("/out/rs2", "redshift::1.1", RS_renderCamera="/obj/cam1", RS_overrideCameraRes=0,
                 RS_outputFileNamePrefix="$HIP/rs2.exr", f3=0),
             rop("/out/karma1", "karma", camera="/obj/cam1", resolution=[2048, 858]),
             dict(rop("/out/gl", "opengl", camera="/obj/cam1", picture="$HIP/gl.exr"), bypassed=True),
             rop("/obj/topnet1/ropnet1/mantra2", "ifd", camera="/obj/cam1", vm_picture="x"),
             rop("/out/vray", "vray_renderer", render_camera="/obj/cam1", SettingsOutput_img_save=1,
                 render_render_mode={"value": 1, "menu": ["CPU", "CUDA", "RTX"]}, SettingsOutput_img_file_path="C:\\out\\v.exr",
                 render_export_mode={"value": 1, "menu": ["No Export", "Export", "Export & Render"]})]
    run, info, tips, asset = analyse(run_cli, project, nodes, platform="2")
    records = {r["node"]: r for r in info["rop_node"]}
    assert list(records) == ["/out/mantra1", "/out/rs", "/out/rs2", "/out/karma1", "/out/gl", "/out/vray"]
    assert records["/out/mantra1"] == {"node": "/out/mantra1", "frames": "1001-1100[1]", "camera": "/obj/cam1",
                                       "width": "1280", "height": "720", "option": "-1", "render": "1"}
    assert records["/out/rs"]["width"] == "1920" and records["/out/rs2"]["frames"] == "1001-1100[1]"
    assert records["/out/karma1"]["width"] == "2048" and records["/out/karma1"]["height"] == "858"
    assert records["/out/gl"]["render"] == "0"
    assert records["/out/vray"]["render_export_mode"] == "Export"
    assert records["/out/vray"]["output_path"] == "C:/out/v.exr"
    assert records["/out/vray"]["render_render_mode"] == 1
    assert "   Render ROP: /obj/topnet1/ropnet1/mantra2" in run.out  # printed, not recorded
    assert tips["50110"] == ["The file contains an Opengl node and requires a graphics card. "
                             "Submit the file on the GPU platform"]
    assert tips["50011"] == ["this /out/vray Render Device Mode is  1 ,you need submit task to GPU platform."]
    assert tips["50012"][0].startswith("this /out/vray Export Mode is  Export ,Dont support")

    settings = asset["render_settings"]
    assert settings["mantra1"]["start"] == "1001" and settings["mantra1"]["samples"]["variance"] == 3
    assert settings["mantra1"]["output_path"] == "$HIP/render/a.$F4.exr"
    assert "samples" in settings["rs"] and "Motion_Blur" in settings["rs"]
    assert "samples" not in settings["rs2"] and "Motion_Blur" not in settings["rs2"]
    assert settings["karma1"] == {"start": "1001", "end": "1100", "lnc": "1"}
    assert "start" not in settings["mantra2"]  # inside a task network
    assert settings["vray"]["render_render_mode"] == "CUDA"
    assert settings["vray"]["output_path"] == "C:/out/v.exr" and settings["vray"]["img_save"] == "1"

    # The same scene on a GPU platform raises none of the GPU tips.
    project.task()
    _, _, tips, _ = analyse(run_cli, project, nodes, platform="61")
    assert not {"50011", "50110"} & set(tips)


def test_cameras_missing_relative_and_alembic(run_cli, project, tmp_path):
    good = tmp_path / "cam.abc"
    good.write_text("abc")
    other = tmp_path / "other.abc"
    other.write_text("abc")
    nodes = [CAM, {"path": "/obj/rig", "type": "subnet"},
             rop("/out/rel", "ifd", camera="../../obj/cam1", vm_picture="x", override_camerares=0),
             rop("/out/miss", "ifd", camera="/obj/cam9", vm_picture="x", override_camerares=0),
             rop("/out/arnold_miss", "arnold", camera="/obj/cam_gone", ar_ass_export_enable=0),
             rop("/out/abc_normal", "ifd", camera="/obj/a1/xform1/cam1", vm_picture="x", override_camerares=0),
             rop("/out/abc_diff", "ifd", camera="/obj/a2/xform1/cam1", vm_picture="x", override_camerares=0),
             rop("/out/abc_miss", "ifd", camera="/obj/a3/xform1/cam1", vm_picture="x", override_camerares=0)]
    nodes += abc_chain("/obj/a1", [str(good)] * 3)
    nodes += abc_chain("/obj/a2", [str(good), str(good), str(other)])
    nodes += abc_chain("/obj/a3", [str(tmp_path / "gone.abc")] * 3)
    run, info, tips, _ = analyse(run_cli, project, nodes)
    recorded = [r["node"] for r in info["rop_node"]]
    assert recorded == ["/out/rel", "/out/arnold_miss", "/out/abc_normal", "/out/abc_diff"]
    assert tips["50016"] == ["/out/miss --- node miss cam ---> /obj/cam9",
                             "/out/abc_miss --- node miss cam ---> /obj/a3"]
    # A good camera exists: the Arnold node's missing camera is only a warning.
    assert tips["50003"] == ["Nodes with diffrence file val: /obj/a2 ",
                             "Nodes: /obj/cam_gone  Miss: This camera is not in the .hip file."]
    assert "50002" not in tips
    assert "Nodes with diffrence file val: /obj/a2/xform1/cam1 \nFile: %s " % other in run.out

    project.task()
    _, _, tips, _ = analyse(run_cli, project, [rop("/out/a", "arnold", camera="/obj/cam9", ar_ass_export_enable=0)])
    assert tips["50002"] == ["Nodes: /obj/cam9  Miss: This camera is not in the .hip file."]


def test_geometry_outputs_and_distributed_simulations(run_cli, project):
    nodes = [
        dict(rop("/out/geo1", "rop_geometry", trange=0, execute=0, sopoutput="$HIP/g.$F4.bgeo")),
        rop("/out/geo2", "rop_geometry", trange=1, f3=2, execute=0, sopoutput="$HIP/g2.bgeo"),
        rop("/out/ass", "arnold", ar_ass_export_enable=1, execute=0, camera="/obj/cam1"),
        {"path": "/out/pre", "type": "prepost", "parms": {"execute": 0}},
        {"path": "/obj/fc", "type": "filecache::2.0", "parms": {"loadfromdisk": 1}},
        dict(rop("/obj/fc/render", "rop_geometry", trange=1, execute=0), locked_hda=True),
        {"path": "/obj/other", "type": "studio::thing"},
        dict(rop("/obj/other/render", "rop_geometry", trange=1, execute=0), locked_hda=True),
        {"path": "/out/sim_missing", "type": "hq_sim", "parms": {"hq_driver": "/out/nothing", "f1": 1, "f2": 10, "f3": 1}},
        {"path": "/out/sim_p", "type": "hq_sim", "parms": {"hq_driver": "/out/drv_p", "f1": 1, "f2": 10, "f3": 1}},
        {"path": "/out/drv_p", "type": "output", "parms": {"execute": 0, "sopoutput": "/c/p.bgeo", "slice_type": "particle",
                                                           "num_slices": 4, "hq_sim_controls": "/obj/none"}},
        {"path": "/out/sim_v", "type": "hq_sim", "parms": {"hq_driver": "/out/drv_v", "f1": 1, "f2": 10, "f3": 1}},
        {"path": "/out/drv_v", "type": "output", "parms": {"execute": 0, "sopoutput": "/c/v.bgeo", "slice_type": "volume",
                                                           "slicediv": [2, 3, 4], "hq_sim_controls": "/out/drv_p"}},
        {"path": "/out/sim_c", "type": "hq_sim", "parms": {"hq_driver": "/out/drv_c", "f1": 1, "f2": 10, "f3": 1}},
        {"path": "/out/drv_c", "type": "output", "parms": {"execute": 0, "sopoutput": "/c/c.bgeo", "slice_type": "cluster",
                                                           "hq_cluster_node": "/obj/nocluster"}},
        {"path": "/out/sim_x", "type": "hq_sim", "parms": {"hq_driver": "/out/drv_x", "f1": 1, "f2": 10, "f3": 1}},
        {"path": "/out/drv_x", "type": "output", "parms": {"execute": 0, "sopoutput": "/c/x.bgeo", "slice_type": "other"}},
    ]
    run, info, tips, _ = analyse(run_cli, project, nodes)
    geo = {r["node"]: r for r in info["geo_node"]}
    assert list(geo) == ["/out/geo1", "/out/geo2", "/out/ass", "/out/pre", "/obj/fc/render"]
    assert geo["/out/geo1"]["frames"] == "1-1[1]"  # current frame only
    assert geo["/out/geo2"]["frames"] == "1001-1100[2]"
    assert "frames" not in geo["/out/pre"]
    assert geo["/out/ass"] == {"node": "/out/ass", "frames": "1001-1100[1]", "option": "0", "render": "0"}
    assert [r["node"] for r in info["rop_node"]] == []  # the exporting Arnold node renders nothing
    sims = {r["node"]: r for r in info["distributedsim_node"]}
    assert list(sims) == ["/out/sim_p", "/out/sim_v", "/out/sim_c", "/out/sim_x"]
    assert list(sims["/out/sim_v"]) == ["node", "output_driver", "output_file", "sliceType", "slicediv", "num_slices",
                                        "simControlName", "frames", "option", "render"]
    assert sims["/out/sim_v"]["num_slices"] == "24" and sims["/out/sim_v"]["slicediv"] == [2, 3, 4]
    assert "num_slices" not in sims["/out/sim_c"]
    assert tips["50013"] == ["this /out/sim_missing Output Driver is  /out/nothing ,this node is not exists,please check .."]
    assert tips["50014"] == [
        "this /out/sim_p Controls Node is  /obj/none ,this node is not exists,please check ..",
        "this /out/sim_c Cluster Node is  /obj/nocluster ,this node is not exists,please check .."]
    assert tips["50008"] == ["this /out/sim_v num_slices is  24 ,it's more than 16,please change .."]
    assert tips["50007"] == ["this /out/sim_x sliceType is other ,it's not supported"]


DEPENDENCY = {
    "post_task": [
        {"id": 322, "cg_version": "19.5,20.0", "name": "merge mp4",
         "edit_value": [{"key": "fps", "keyShow": "FPS", "paramType": 1,
                         "values": [{"value": 24, "valueShow": "24"}, {"value": 30, "valueShow": "30"}]}]},
        {"id": 320, "name": "merge mov"},
        {"id": 999, "name": "not supported by the scene"},
    ],
    "pre_task": [{"id": 1, "edit_value": [{"key": "k", "paramType": 2, "values": [{"value": "v"}]}]}],
}


@pytest.mark.parametrize("channel_key,channel", [("task_info", "2"), ("argument_info", "1")])
def test_dependency_tasks_merge_with_the_scene(run_cli, project, channel_key, channel):
    task = {"task_info": {"platform": "2", "channel": channel},
            "software_config": {"cg_name": "Houdini", "cg_version": "19.5", "plugins": {}}}
    task.setdefault(channel_key, {})["dependency_task"] = DEPENDENCY
    nodes = [CAM, rop("/out/mantra1", "ifd", camera="/obj/cam1", vm_picture="x", override_camerares=0)]
    import scanflow
    merged = scanflow.RelyTask(task, [{"node": "/out/mantra1"}], channel).run()
    assert merged["pre_task"] == []
    assert [t["id"] for t in merged["post_task"]] == [320, 322]
    mov, mp4 = merged["post_task"]
    assert mov == {"id": 320, "create_tag": 3, "frames_name_list": ["video_merge_mov"], "layers": ["/out/mantra1"],
                   "name": "merge mov"}
    assert mp4["edit_value"][0]["values"] == [{"value": 24, "valueShow": "24"}, {"value": 30, "valueShow": "30"}]
    # Through a whole run, the web channel ("2") reads task_info; channel "4" from the task file
    # is overridden by the command line's "2" too.
    if channel == "2":
        analyse(run_cli, project, nodes, task=task)
        stored = project.read("task.json")["dependency_task"]
        assert [t["id"] for t in stored["post_task"]] == [320, 322]
    task["software_config"]["cg_version"] = "18.0"
    assert [t["id"] for t in scanflow.RelyTask(task, [], channel).run()["post_task"]] == [320]


def test_an_empty_dependency_configuration_is_passed(capsys):
    import scanflow
    task = {"task_info": {"dependency_task": {}}, "software_config": {"cg_name": "Houdini", "cg_version": "1", "plugins": {}}}
    assert scanflow.RelyTask(task, [], "2").run() == {}
    assert "Warnning: Passing RelyTask! Origin dependency_task is {}" in capsys.readouterr().out


def test_render_nodes_read_the_same_from_a_real_scene_file(run_cli, project):
    # The test double knows only the parameters it is given; a real scene reads the host's
    # defaults for the others, so both nodes are given every setting the analysis reads.
    samples = {"vm_" + n: 2 for n in ("samplesy", "samplesx", "minraysamples", "maxraysamples", "variance",
                                      "globalquality", "diffusequality", "sssquality", "reflectionquality",
                                      "refractionquality", "volumequality")}
    nodes = [CAM, rop("/out/mantra1", "ifd", camera="/obj/cam1", vm_picture="$HIP/r.$F4.exr",
                      override_camerares=0, trange=1, **samples),
             rop("/out/miss", "ifd", camera="/obj/cam9", vm_picture="x", override_camerares=0, **samples)]
    results = []
    for host in ("hou", "hip"):
        project.task()
        _, info, tips, asset = analyse(run_cli, project, nodes, host=host)
        results.append((info, tips, asset["render_settings"]))
    assert results[0] == results[1]


def test_renderman_arnold_denoising_and_unconfigured_renderers(run_cli, project):
    nodes = [CAM,
             rop("/out/prman", "hdprman", camera="/obj/cam1", picture="$HIP/p.$F4.exr", resolution=[1920, 1080]),
             rop("/out/ar", "arnold", camera="/obj/cam1", ar_picture="$HIP/a.exr", ar_ass_export_enable=0,
                 ar_AA_samples=3, ar_mb_xform_enable=1, ar_mb_xform_keys=2, ar_mb_dform_enable=0,
                 ar_mb_dform_keys=2, ar_denoise=1, ar_denoise_display=0, ar_aovs=3,
                 ar_enable_aov1=1, ar_aov_denoise_enable1=0, ar_enable_aov2=0, ar_aov_denoise_enable2=1,
                 ar_enable_aov3=1, ar_aov_denoise_enable3=1,
                 **{"ar_GI_%s_samples" % n: 2 for n in ("diffuse", "specular", "transmission", "sss", "volume")})]
    task = {"task_info": {"platform": "2", "channel": "1"},
            "software_config": {"cg_name": "Houdini", "cg_version": "19.5", "plugins": {"redshift": "3.5"}}}
    _, info, tips, asset = analyse(run_cli, project, nodes, task=task)
    settings = asset["render_settings"]
    assert settings["prman"]["output_path"] == "$HIP/p.$F4.exr" and settings["prman"]["camera"] == "/obj/cam1"
    assert settings["ar"]["Motion_Blur"] == {"transform keys": 2}
    assert settings["ar"]["samples"]["samples_AA"] == 3
    assert tips["50107"] == ["/out/ar ar_denoise", "/out/ar ar_aov_denoise_enable3",
                             "The above rendering node uses Optix denoising, (Arnold) does not support GPU denoising..."]
    # "redshift" is configured (as RS); RenderMan and Arnold are not.
    message = tips["50108"][0]
    assert message.endswith(" renderer are useing in the scene  but is not configured to cause rendering errors.")
    assert sorted(message.split(" renderer")[0].split(",")) == ["HtoA", "renderman"]
    assert [r["node"] for r in info["rop_node"]] == ["/out/prman", "/out/ar"]
    assert info["rop_node"][0]["width"] == "1920"

    task["task_info"]["platform"] = "21"
    _, _, tips, _ = analyse(run_cli, project, nodes, platform="21", task=task)
    assert "50107" not in tips and "50108" in tips


def test_the_node_scans_fill_the_list_and_the_working_record_a_script_gives(project):
    import hou
    import scanflow
    scene = project.scene({"nodes": [
        {"path": "/out", "type": "out"},
        rop("/out/geo1", "rop_geometry", trange=1, execute=0, sopoutput="$HIP/g.bgeo"),
        {"path": "/out/pre", "type": "prepost", "parms": {"execute": 0}}]})
    hou.hipFile.load(str(scene))
    hip = scanflow.AnalysisHipAssets({"hip_file": str(scene), "path_json": str(project.out)})
    working, records = {"note": "mine"}, ["kept"]
    assert hip.get_geo_node_setting(working, records) is records
    assert [r if r == "kept" else r["node"] for r in records] == ["kept", "/out/geo1", "/out/pre"]
    # The working record ends as the last record; the pre/post node took no frames of the first.
    assert working == records[-1] == {"note": "mine", "node": "/out/pre", "option": "0", "render": "0"}
    assert records[1]["note"] == "mine" and records[1]["frames"] == "1001-1100[1]"
    rops = []
    assert hip.get_rop_node_setting(rops) is rops and rops == []

