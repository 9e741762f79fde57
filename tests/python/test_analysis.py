"""A whole scene analysed through the command line: every result file and its content."""

import hashlib
import json
import os

from conftest import WEB_OPTIONS, base_env


def make_project(project):
    root = project.root
    for rel in ("tex/wood.jpg", "tex/wood.tx", "tex/skin.1001.exr", "tex/skin.1002.exr",
                "tex/skin.1001.tx", "geo/rock.0001.bgeo.sc", "geo/rock.0003.bgeo.sc",
                "geo/part_3.bgeo", "tex/中文.png"):
        path = root / rel
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(rel)
    (root / "geo/part_3.bgeo").write_text('["fileversion","19.5.605","pointcount",0]')
    return {
        "version": "19.5.605",
        "variables": {"JOB": "/jobs/show"},
        "nodes": [
            {"path": "/obj", "type": "obj"},
            {"path": "/obj/mat", "type": "principledshader::2.0",
             "parms": {"basecolor_texture": "$HIP/tex/wood.jpg",
                       "rough_texture": "$HIP/tex/skin.<UDIM>.exr",
                       "bump_texture": "'$HIP/tex/中文.png'",
                       "normal_texture": "$HIP/tex/missing_normal.exr",
                       "postrender": "$HIP/scripts/post.py",
                       "note": "relative/path.txt",
                       "count": 4}},
            {"path": "/obj/geo1", "type": "geo", "parms": {"tx": 0.0}},
            {"path": "/obj/geo1/cache", "type": "file",
             "parms": {"file": "$HIP/geo/rock.$F4.bgeo.sc"}},
            {"path": "/obj/geo1/merge", "type": "filemerge",
             "parms": {"file": "$HIP/geo/part_$MV.bgeo", "merge_var": "MV", "cachesize": 5}},
            {"path": "/obj/broken", "type": "attribwrangle",
             "parms": {"a": {"value": "/x/a.exr", "error": "Python error in expression"},
                       "b": {"value": "/x/b.exr", "error": "Python error in expression"}}},
            {"path": "/out", "type": "out"},
            {"path": "/out/mantra1", "type": "ifd",
             "parms": {"vm_picture": "$HIP/render/$HIPNAME.$F4.exr"}},
        ],
    }


def run_web(run_cli, project, scene, **env):
    return run_cli("-channel", "web", "-file", scene, "-path_json", project.out, *WEB_OPTIONS,
                   env=base_env(**env))


def test_a_scene_writes_every_result_file(run_cli, project):
    scene = project.scene(make_project(project))
    hip = str(project.root)
    run = run_web(run_cli, project, scene, HH=str(project.root / "hfs"))
    assert run.code == 0, run.out + run.err

    asset = project.read("asset.json")
    assert list(asset) == ["asset_node", "Nested_Assets", "convert_node", "render_settings",
                           "environment_dict", "missing_file", "scene_file_size", "asset_size",
                           "asset_num", "asset"]
    assert asset["asset_node"] == {
        "/obj/mat/basecolor_texture": hip + "/tex/wood.jpg",
        "/obj/mat/rough_texture": hip + "/tex/skin.<UDIM>.exr",
        "/obj/mat/bump_texture": "'" + hip + "/tex/中文.png'",
        "/obj/mat/normal_texture": hip + "/tex/missing_normal.exr",
        "/obj/geo1/cache/file": hip + "/geo/rock.$F.bgeo.sc",
        "/obj/geo1/merge/file": hip + "/geo/part_*[0-6].bgeo",
    }
    assert asset["convert_node"]["/obj/mat/basecolor_texture"] == [hip + "/tex/wood.jpg"]
    assert asset["convert_node"]["/obj/mat/rough_texture"] == [hip + "/tex/skin.1001.exr",
                                                              hip + "/tex/skin.1002.exr"]
    assert asset["convert_node"]["/obj/geo1/cache/file"] == [hip + "/geo/rock.0001.bgeo.sc",
                                                            hip + "/geo/rock.0003.bgeo.sc"]
    assert asset["convert_node"]["/obj/mat/bump_texture"] == [hip + "/tex/中文.png"]
    assert asset["missing_file"] == {"/obj/mat/normal_texture": hip + "/tex/missing_normal.exr"}
    assert asset["environment_dict"]["JOB"] == "/jobs/show"
    assert asset["scene_file_size"] == os.path.getsize(scene)
    # The nested caches were sampled and looked at (their readers contribute nothing yet).
    assert set(asset["Nested_Assets"]) == {hip + "/geo/rock.0001.bgeo.sc",
                                           hip + "/geo/rock.0003.bgeo.sc", hip + "/geo/part_3.bgeo"}

    upload = project.read("upload.json")
    locals_ = sorted(entry["local"] for entry in upload["asset"])
    assert locals_ == sorted(hip + rel for rel in (
        "/tex/wood.jpg", "/tex/wood.tx", "/tex/skin.1001.exr", "/tex/skin.1002.exr",
        "/tex/skin.1001.tx", "/geo/rock.0001.bgeo.sc", "/geo/rock.0003.bgeo.sc",
        "/geo/part_3.bgeo", "/tex/中文.png"))
    assert upload["scene"] == [{"local": str(scene), "server": str(scene),
                                "hash": hashlib.md5(scene.read_bytes()).hexdigest()}]
    assert asset["asset_num"] == 9
    assert asset["asset_size"] == sum(os.path.getsize(p) for p in locals_)
    assert asset["asset"] == sorted(asset["asset"]) and len(asset["asset"]) == 9
    assert asset["asset"][0].startswith(locals_[0] + "  (mtime ")

    tips = project.read("tips.json")
    assert tips["50001"] == ["/obj/mat/normal_texture--->" + hip + "/tex/missing_normal.exr"]
    assert tips["50105"] == ["/obj/broken"]
    assert "50010" not in tips  # the Mantra node is a render node

    text = (project.out / "asset.txt").read_bytes().decode("utf-8")
    assert text.split("\r\n") == ["[scene_file]", str(scene), "[missing_file]",
                                  hip + "/tex/missing_normal.exr", "[asset]",
                                  text.split("\r\n")[5], ""]
    assert text.split("\r\n")[5].startswith(str(scene) + "  (mtime ")
    assert (project.out / "analyze_sucess").read_bytes() == b'""'

    raw = (project.out / "asset.json").read_text(encoding="utf-8")
    assert '\n    "asset_node": {\n        "/obj/mat/basecolor_texture": ' in raw
    assert "中文" in raw  # not escaped

    task = project.read("task.json")
    assert task["other"] == {"kept": True}
    assert task["software_config"]["houdini_ver"] == "19.5.605"
    # Without frame parameters the node takes the scene's global range; without a camera
    # parameter it records no camera.
    assert task["scene_info"]["rop_node"] == [{
        "node": "/out/mantra1", "frames": "1-240[1]", "camera": "", "width": "", "height": "",
        "option": "-1", "render": "1"}]
    assert task["software_config"]["HOUDINI_OTLSCAN_PATH"] == []

    run.assert_in_order("all parm path list is [<hou.Parm basecolor_texture in /obj/mat>",
                        "problem nodes is : ['/obj/broken']\n[analysis_assets finished]",
                        "<des>start write upload.json</des>", "<des>write upload.json ok</des>",
                        "<des>write asset.json ok</des>", "<des>write tips.json ok</des>",
                        "<des>start write analyze_sucess</des>", "[analysis_assets done...]")


def test_without_hh_the_run_stops_before_the_analysis_and_keeps_what_it_wrote(run_cli, project):
    scene = project.scene(make_project(project))
    env = base_env()
    env.pop("HH")
    (project.out / "upload.json").write_text("previous")
    run = run_cli("-channel", "web", "-file", scene, "-path_json", project.out, *WEB_OPTIONS, env=env)
    assert run.code == 886 % 256
    # The final assembly needs HH: the run checks it first instead of failing after the analysis.
    run.assert_in_order("in doit\nKeyError: 'HH'", "ERROR CALLS", "Analysis failure")
    assert "open houdini file" not in run.out and "write_json" not in run.out
    assert "KeyError: 'HH'" in run.err.splitlines()[-1]
    assert (project.out / "upload.json").read_text() == "previous"
    assert not (project.out / "analyze_sucess").exists()
    assert "houdini_ver" not in project.read("task.json")["software_config"]


def test_a_scene_without_its_save_version_cannot_be_assembled(run_cli, project):
    scene = project.scene(make_project(project), saved=False)
    run = run_web(run_cli, project, scene)
    assert run.code == 886 % 256
    run.assert_in_order("write_json is START", "records no save version", "Analysis failure")


def test_protected_paths_and_the_asset_library_filter(run_cli, project):
    description = make_project(project)
    description["nodes"].append({"path": "/obj/hda", "type": "studio::thing", "library": "/otls/a.hda"})
    description["nodes"].append({"path": "/obj/hda/inner", "type": "file", "locked_hda": True,
                                 "library": str(project.root / "otls/thing.hda")})
    (project.root / "otls").mkdir()
    (project.root / "otls/thing.hda").write_text("hda")
    scene = project.scene(description)
    run = run_web(run_cli, project, scene, HH=str(project.root / "hfs"))
    assert run.code == 0, run.out
    task = project.read("task.json")
    assert task["software_config"]["HOUDINI_OTLSCAN_PATH"] == [str(project.root / "otls")]
    locals_ = [entry["local"] for entry in project.read("upload.json")["asset"]]
    assert str(project.root / "otls/thing.hda") in locals_
    # The same library under the host's own directory is left out.
    run = run_web(run_cli, project, scene, HH=str(project.root))
    assert project.read("task.json")["software_config"]["HOUDINI_OTLSCAN_PATH"] == []


def test_recorded_patterns_of_frame_tokens_expressions_and_node_rules(run_cli, project):
    root = project.root
    (root / "cache/v2").mkdir(parents=True)
    for f in (1, 2):
        (root / ("cache/v2/sim.%04d.bgeo.sc" % f)).write_text("c")
    scene = project.scene({"nodes": [
        {"path": "/obj", "type": "obj"},
        {"path": "/obj/tex", "type": "texture", "parms": {
            "ff": "$HIP/img/a.$FF.exr",
            "several": "$HIP/seq/$F/img.$F4.exr",
            "padded": "$HIP/img/b.`padzero(4,$F)`.exr",
            "clamped": "$HIP/img/c.`clamp($F,1,9)`.exr"}},
        {"path": "/obj/cache", "type": "filecache::2.0", "parms": {
            "loadfromdisk": 1, "filemethod": 0, "framestr": "none",
            "sopoutput": "$HIP/cache/v2/sim.$F4.bgeo.sc", "file": "$HIP/cache/v2/sim.$F4.bgeo.sc"}},
        {"path": "/obj/merge", "type": "filemerge::2.0", "parms": {
            "file": "$HIP/parts/part_$MV.0001.bgeo", "merge_var": "MV"}},
    ]})
    run = run_cli("-channel", "web", "-file", scene, "-path_json", project.out, *WEB_OPTIONS)
    assert run.code == 0, run.out[-3000:]
    r = str(root)
    assert project.read("asset.json")["asset_node"] == {
        "/obj/tex/ff": r + "/img/a.$F.exr",
        "/obj/tex/several": r + "/seq/$F/img.$F.exr",
        "/obj/tex/padded": r + "/img/b.*.exr",
        "/obj/tex/clamped": r + "/img/c.*.exr",
        # The output parameter itself is at its default while it is converted: no frame rule.
        "/obj/cache/sopoutput": r + "/cache/v2/sim.$F.bgeo.sc",
        # Frames 1 and 2 of the constructed output differ in the frame digits only.
        "/obj/cache/file": r + "/cache/v2/sim.*.bgeo.sc",
        "/obj/merge/file": r + "/parts/part_*[0-9]*bgeo",
    }
    convert = project.read("asset.json")["convert_node"]
    assert convert["/obj/cache/file"] == [r + "/cache/v2/sim.0001.bgeo.sc", r + "/cache/v2/sim.0002.bgeo.sc"]


def test_a_host_script_reads_the_patterns_the_scan_recorded(run_python, project):
    scene = project.scene({"nodes": [
        {"path": "/obj", "type": "obj"},
        {"path": "/obj/tex", "type": "texture", "parms": {
            "map": "C:\\tex\\wood.$F4.jpg", "other": "$HIP/b.exr"}},
    ]})
    code = ("import hou, json, scanflow, sys; hou.hipFile.load(sys.argv[1]);"
            "[scanflow.RY_GetSequen(hou.node('/obj/tex').parm(n)) for n in ('map', 'other', 'map')];"
            "print(json.dumps([scanflow.ALL_NODE, scanflow.GLOBAL_ALL_ORIGINOL_JSON,"
            " scanflow.GLOBAL_ALL_ORIGINOL_LIST]))")
    run = run_python(code, scene)
    assert run.code == 0, run.out + run.err
    all_node, as_written, every = json.loads(run.lines[-1])
    other = str(project.root) + "/b.exr"
    # A parameter read again keeps its place; the list holds every reading.
    wood = "C:/tex/wood.$F.jpg"
    assert list(all_node.items()) == [("/obj/tex/map", wood), ("/obj/tex/other", other)]
    assert as_written == all_node
    assert every == [wood, other, wood]


def test_a_host_script_reads_the_variant_selections_the_scan_recorded(run_python, project):
    scene = project.scene({"nodes": [
        {"path": "/stage", "type": "lopnet"},
        {"path": "/stage/layer", "type": "sublayer", "parms": {"filepath1": "/usd/shot.usda"}},
        {"path": "/stage/sv", "type": "setvariant", "inputs": ["/stage/layer"], "parms": {
            "num_variants": 2, "primpattern1": "/world/a", "variantset1": "look", "variantname1": "red",
            "primpattern2": "/world/b", "variantset2": "lod", "variantname2": 2}},
        {"path": "/stage/none", "type": "setvariant", "inputs": ["/stage/layer"],
         "parms": {"num_variants": 0}},
    ]})
    code = ("import hou, json, scanflow, sys; hou.hipFile.load(sys.argv[1]);"
            "scanflow.analysis_assetsChecking(); print(json.dumps(scanflow.need_varian_usd))")
    run = run_python(code, scene)
    assert run.code == 0, run.out + run.err
    recorded = json.loads(run.lines[-1])
    assert recorded == [{"/usd/shot.usda": {"/world/a": {"variantset": "look", "variantname": "red"},
                                            "/world/b": {"variantset": "lod", "variantname": 2}}},
                        {}]
