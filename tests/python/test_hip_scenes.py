"""Our own scene layer end to end: real scenes, scenes written in both forms, and the same scene
through both hosts."""

import json
import shutil
from pathlib import Path

import hipwrite
import pytest
from conftest import WEB_OPTIONS, base_env
from test_analysis import make_project

DATA = Path(__file__).resolve().parents[1] / "data" / "hip"


def run_hip(run_cli, project, scene, host="hip"):
    return run_cli("-channel", "web", "-file", scene, "-path_json", project.out, *WEB_OPTIONS,
                   env=base_env(SCANFLOW_HOST=host, HH=str(project.root / "hfs")))


@pytest.mark.parametrize("name", ["test_parameters.hip", "crowd_city.hip", "houflipbook_example.hip"])
def test_real_scenes_are_analysed_without_the_host(run_cli, project, name):
    scene = project.root / name
    shutil.copy(DATA / name, scene)
    run = run_hip(run_cli, project, scene)
    assert run.code == 0, run.out[-3000:]
    assert "Loading hip file success" in run.out
    asset = project.read("asset.json")
    assert (project.out / "analyze_sucess").read_bytes() == b'""'
    hip = str(project.root)
    if name == "crowd_city.hip":
        assert asset["asset_node"] == {"/obj/geo_main/attribfrommap1/filename": hip + "/map.jpg"}
        assert asset["missing_file"] == {"/obj/geo_main/attribfrommap1/filename": hip + "/map.jpg"}
        tips = project.read("tips.json")
        assert "/obj/geo_main/attribcreate1" in tips["50105"]  # $CR only exists while cooking
    if name == "houflipbook_example.hip":
        assert asset["asset_node"]["/obj/flipbook1/output"] == hip + "/video/houflipbook_example.flipbook1.mp4"
    if name == "test_parameters.hip":
        assert asset["asset_node"]["/tasks/topnet1/taskgraphfile"] == hip + "/test_parameters.taskgraph.$F.py"
        assert project.read("task.json")["software_config"]["houdini_ver"] == "18.5.732"


def test_scenes_of_a_licence_tier_our_reader_cannot_open_are_refused_alike(run_cli, project):
    for tier, magic, ext in (("limited-commercial", b"HouLC", ".hiplc"), ("non-commercial", b"HouNC", ".hipnc")):
        scene = project.root / ("shot" + ext)
        scene.write_bytes(magic + b"\x1a1033600baa067603cc609a7e597d.variables\x00set -g _HIP_SAVEVERSION = '20.0.547'\n")
        (project.out / "analyze_sucess").write_text("left by an earlier run")
        run = run_hip(run_cli, project, scene)
        assert run.code == 0, run.out + run.err
        told = "%s is a %s scene (%s, saved by Houdini 20.0.547): our scene reader does not open that licence " \
               "tier; run the analysis inside the host application: it is not analysed, nothing is written" % (
                   scene, tier, ext)
        assert told in run.err, run.err
        # Nothing is analysed: no scene load, no result file, and no success marker of any run.
        assert "open houdini file" not in run.out
        assert sorted(p.name for p in project.out.iterdir()) == ["task.json"]
        assert "scanflow: analysed" not in run.err


def test_damaged_archives_keep_what_was_read(run_cli, project):
    description = make_project(project)
    scene = project.root / "shot.hip"
    hipwrite.write_cpio(scene, description)
    data = scene.read_bytes()
    scene.write_bytes(data[:len(data) - 200])
    run = run_hip(run_cli, project, scene)
    assert run.code == 0
    run.assert_in_order("shot.hip: ", " at offset ", "open scence time :")
    assert "/obj/mat/basecolor_texture" in project.read("asset.json")["asset_node"]


@pytest.mark.parametrize("form", ["cpio", "text"])
def test_the_same_scene_gives_the_same_results_through_both_hosts(run_cli, project, form, tmp_path):
    description = make_project(project)
    # The test double knows only the parameters it is given; a real scene's render node has the
    # host's default camera.
    mantra = next(node for node in description["nodes"] if node["type"] == "ifd")
    mantra["parms"]["camera"] = "/obj/cam1"
    results = {}
    for host in ("hou", form):
        if host == "hou":
            scene = project.scene(description)
        else:
            scene = project.root / "shot.hip"
            (hipwrite.write_cpio if form == "cpio" else hipwrite.write_text)(scene, description)
        project.task()
        run = run_hip(run_cli, project, scene, host="hou" if host == "hou" else "hip")
        assert run.code == 0, run.out[-3000:]
        asset = project.read("asset.json")
        results[host] = {key: asset[key] for key in ("asset_node", "convert_node", "missing_file", "asset_num")}
        results[host]["tips"] = project.read("tips.json")
        results[host]["scene_info"] = project.read("task.json")["scene_info"]
    assert results["hou"] == results[form]


def test_a_locked_asset_embedded_in_the_scene_is_read_through_its_definition(run_cli, project):
    import gzip
    (project.root / "tex").mkdir(exist_ok=True)
    (project.root / "tex" / "default.png").write_text("default texture")
    contents = hipwrite.cpio([
        ("node_type", "Sop"),
        ("hdaroot.init", "type = texmaker\nmatchesdef = 0\n"),
        ("hdaroot/read.init", "type = file\nmatchesdef = 0\n"),
        ("hdaroot/read.parm", '{\nversion 0.8\nfile\t[ 0\tlocks=0 ]\t(\t"`chs(\\"../tex\\")`"\t)\n}\n'),
        ("hdaroot/icon.init", "type = file\nmatchesdef = 0\n"),
        ("hdaroot/icon.parm", '{\nversion 0.8\nfile\t[ 0\tlocks=0 ]\t(\t"opdef:/Sop/texmaker?icon.png"\t)\n}\n')])
    dialog = ('{\n    name\ttexmaker\n    parm {\n        name    "tex"\n        type    image\n'
              '        default { "$HIP/tex/default.png" }\n    }\n}\n')
    definition = hipwrite.indx([("DialogScript", dialog), ("Contents.gz", gzip.compress(b"\x01\x02\x00\x00" + contents))])
    library = hipwrite.indx([("INDEX_SECTION", b""), ("houdini.hdalibrary", b""), ("Sop/texmaker", definition)])
    scene = project.root / "shot.hip"
    hipwrite.write_cpio(scene, {"nodes": [{"path": "/obj/geo1", "type": "geo"},
                                          {"path": "/obj/geo1/maker", "type": "texmaker", "matchesdef": True}],
                                "sections": [(".defotl", library)]})
    run = run_hip(run_cli, project, scene)
    assert run.code == 0, run.err[-2000:]
    asset = project.read("asset.json")
    texture = str(project.root / "tex" / "default.png")
    # The asset's own node reads the instance's texture parameter, left at its definition's default.
    assert asset["asset_node"]["/obj/geo1/maker/read/file"] == texture
    assert texture in {e["local"] for e in project.read("upload.json")["asset"]}
    # A path into the definition itself is no file on disk: never missing, never uploaded.
    assert "opdef:" not in json.dumps(asset) and "opdef:" not in json.dumps(project.read("upload.json"))
