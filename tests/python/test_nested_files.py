"""Files named inside the files a scene names: Arnold scenes, V-Ray scenes, geometry caches."""

import json
import shutil
from pathlib import Path

from conftest import WEB_OPTIONS, base_env

DATA = Path(__file__).resolve().parents[1] / "data"


def test_files_inside_arnold_and_vray_scenes_are_uploaded_or_reported(run_cli, project):
    root = project.root
    (root / "tex").mkdir()
    (root / "tex/ocean.tx").write_text("tx")
    (root / "tex/ocean.exr").write_text("exr")
    shutil.copy(DATA / "ass/test_0110_procedural_standins.ass", root / "standins.ass")
    (root / "ocean.ass").write_text('image\n{\n name ocean\n filename "tex/ocean.tx"\n}\n')
    (root / "shot.vrscene").write_text('Bitmap b {\n  file="tex/ocean.exr";\n}\n')
    scene = project.scene({"nodes": [
        {"path": "/obj", "type": "obj"},
        {"path": "/obj/standin", "type": "arnold_procedural", "parms": {"ar_filename": "$HIP/standins.ass"}},
        {"path": "/obj/ocean", "type": "arnold_procedural", "parms": {"ar_filename": "$HIP/ocean.ass"}},
        {"path": "/obj/vray", "type": "vrayproxy", "parms": {"file": "$HIP/shot.vrscene"}},
    ]})
    run = run_cli("-channel", "web", "-file", scene, "-path_json", project.out, *WEB_OPTIONS)
    assert run.code == 0, run.out[-3000:]
    asset = project.read("asset.json")
    hip = str(root)
    nested = asset["Nested_Assets"]
    assert nested[hip + "/standins.ass"] == [hip + "/shape.ass", hip + "/shader.ass"]
    assert sorted(nested[hip + "/ocean.ass"]) == sorted([hip + "/tex/ocean.tx", hip + "/tex/ocean.exr",
                                                         hip + "/tex/ocean.tx"])
    assert nested[hip + "/shot.vrscene"] == [hip + "/tex/ocean.exr"]
    assert sorted(asset["missing_file"]["Nested_Assets"]) == [hip + "/shader.ass", hip + "/shape.ass"]
    tips = project.read("tips.json")
    line = [l for l in tips["50001"] if l.startswith("Nested_Assets--->")][0]
    assert line.startswith("Nested_Assets--->['") and "shape.ass'" in line
    uploaded = {e["local"] for e in project.read("upload.json")["asset"]}
    assert {hip + "/tex/ocean.tx", hip + "/tex/ocean.exr", hip + "/ocean.ass"} <= uploaded
    text = (project.out / "asset.txt").read_bytes().decode("utf-8")
    assert hip + "/shape.ass\r\n" in text


def test_module_readers_for_host_scripts(project, capsys):
    import scanflow
    hip = scanflow.AnalysisHipAssets({"hip_file": str(project.root / "a.hip"), "path_json": str(project.out)})
    assert hip.get_ass_path(str(DATA / "ass/test_0117_alembic_procs.ass")) == ["Bottle.abc"]
    (project.root / "a.usda").write_text('#usda 1.0\n(\n    subLayers = [@./b.usda@, @/abs/c.usda@]\n)\n'
                                         'def "x" ( references = @./b.usda@ ) {}\n')
    assert hip.handle_usda_file(str(project.root / "a.usda")) == [str(project.root / "b.usda"), "/abs/c.usda"]
    assert hip.get_bgeo_asset(str(DATA / "geo/laika_packed_disk.bgeo")) == []
    assert "bgeo: " in capsys.readouterr().out
    assert hip.get_bgeo_asset(str(DATA / "geo/laika_packed_disk.bgeo")) == []  # read once


def test_the_renderers_binding_reads_arnold_scenes_when_it_imports(run_python, project):
    scene = project.root / "s.ass"
    scene.write_text('image\n{\n filename "a.tx"\n}\nimage\n{\n filename "a.tx"\n}\npolymesh\n{\n filename "no.exr"\n}\n'
                     'procedural\n{\n filename ""\n}\nalembic\n{\n filename "b.abc"\n}\n')
    code = ("import sys, scanflow, arnold; h = scanflow.AnalysisHipAssets({'hip_file': 'x', 'path_json': sys.argv[1]});"
            "print(h.get_ass_path(sys.argv[2])); print(arnold.calls)")
    env = base_env()
    env["PYTHONPATH"] = str(Path(__file__).resolve().parent / "arnold_double") + ":" + env["PYTHONPATH"]
    run = run_python(code, project.out, scene, env=env)
    assert run.code == 0, run.err
    assert "no arnold" not in run.out
    # 7.10 compares below 7.4 as text: the older calls fail and the newer ones load the file.
    assert run.lines[-2] == "['a.tx', 'b.abc']"
    assert run.lines[-1] == "['AiBegin', 'AiUniverse', 'AiMsgSetConsoleFlags', 'AiASSLoad', 'AiNodeIteratorDestroy', 'AiEnd']"
    env["ARNOLD_DOUBLE_VERSION"] = "7.4.1.0"
    run = run_python(code, project.out, scene, env=env)
    assert run.lines[-1] == "['AiBegin', 'AiUniverse', 'AiSceneLoad', 'AiNodeIteratorDestroy', 'AiEnd']"


def test_dependencies_three_levels_deep_in_every_kind_of_file(run_cli, project):
    root = project.root

    def write(rel, text, mode="w"):
        path = root / rel
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(text) if mode == "wb" else path.write_text(text)
        return path

    for rel in ("a/tex/deep.tx", "g/tex/deep_geo.exr", "p/tex/deep_rs.exr", "v/tex/deep_v.exr"):
        write(rel, "x")
    # Arnold: top -> mid -> deep -> textures (one of them missing).
    write("a/top.ass", 'procedural\n{\n filename "l2/mid.ass"\n}\n')
    write("a/l2/mid.ass", 'procedural\n{\n filename "../l3/deep.ass"\n}\n')
    write("a/l3/deep.ass", 'image\n{\n filename "%s"\n}\nimage\n{\n filename "%s"\n}\n'
          % (root / "a/tex/deep.tx", root / "a/tex/gone.tx"))
    # Geometry caches naming caches naming an Arnold scene.
    write("g/top.bgeo", '["fileversion","19.5",{"filenames":"[%s]"}]' % (root / "g/mid.bgeo"))
    write("g/mid.bgeo", '["fileversion","19.5",{"filenames":"[%s]"}]' % (root / "g/deep.ass"))
    write("g/deep.ass", 'image\n{\n filename "%s"\n}\n' % (root / "g/tex/deep_geo.exr"))
    # Redshift proxies naming proxies (relative names are read from the working directory).
    write("p/top.rs", b"\x00./mid.rs\x00", "wb")
    write("p/mid.rs", b"\x00./deep.rs\x00", "wb")
    write("p/deep.rs", b"\x00./tex/deep_rs.exr\x00", "wb")
    # V-Ray scenes naming scenes.
    write("v/top.vrscene", 'Include {\n  file="mid.vrscene";\n}\n')
    write("v/mid.vrscene", 'Include {\n  file="deep.vrscene";\n}\n')
    write("v/deep.vrscene", 'Bitmap b {\n  file="tex/deep_v.exr";\n}\n')
    scene = project.scene({"nodes": [
        {"path": "/obj", "type": "obj"},
        {"path": "/obj/n", "type": "null", "parms": {
            "ass": "$HIP/a/top.ass", "geo": "$HIP/g/top.bgeo", "rs": "$HIP/p/top.rs", "vr": "$HIP/v/top.vrscene"}},
    ]})
    run = run_cli("-channel", "web", "-file", scene, "-path_json", project.out, *WEB_OPTIONS, cwd=str(root / "p"))
    assert run.code == 0, run.out[-3000:]
    r = str(root)
    uploaded = {e["local"] for e in project.read("upload.json")["asset"]}
    for rel in ("a/tex/deep.tx", "a/l3/deep.ass", "g/mid.bgeo", "g/deep.ass", "g/tex/deep_geo.exr",
                "p/deep.rs", "p/tex/deep_rs.exr", "v/deep.vrscene", "v/tex/deep_v.exr"):
        assert r + "/" + rel in uploaded, rel
    asset = project.read("asset.json")
    nested = asset["Nested_Assets"]
    assert r + "/a/tex/deep.tx" in nested[r + "/a/top.ass"]
    assert r + "/g/tex/deep_geo.exr" in nested[r + "/g/top.bgeo"]
    assert asset["missing_file"]["Nested_Assets"] == [r + "/a/tex/gone.tx"]
    assert any(l.startswith("Nested_Assets--->") and "gone.tx" in l for l in project.read("tips.json")["50001"])


def test_the_pool_size_changes_nothing_the_run_writes(run_cli, project):
    """Files are stated and nested files read side by side; what is written, and every console
    line but the timings, is the same on one thread as on several."""
    root = project.root
    (root / "tex").mkdir()
    names = []
    for i in range(60):
        tex = root / "tex" / ("t%02d.%04d.exr" % (i % 7, 1001 + i))
        tex.write_text("x" * i)
        ass = root / "ass" / ("s%02d.ass" % i)
        ass.parent.mkdir(exist_ok=True)
        ass.write_text('image\n{\n filename "%s"\n}\nimage\n{\n filename "%s"\n}\n'
                       % (tex, root / "tex" / ("gone%02d.exr" % i)))
        geo = root / "geo" / ("g%02d.bgeo" % i)
        geo.parent.mkdir(exist_ok=True)
        geo.write_text('["fileversion","19.5",{"filenames":"[%s]"}]' % ass)
        names.append(str(geo))
    scene = project.scene({"nodes": [{"path": "/obj", "type": "obj"}] + [
        {"path": "/obj/n%02d" % i, "type": "null", "parms": {"file": name}} for i, name in enumerate(names)]})

    def outputs(threads):
        project.task()
        run = run_cli("-channel", "web", "-file", scene, "-path_json", project.out, *WEB_OPTIONS,
                      env=base_env(SCANFLOW_THREADS=str(threads)))
        assert run.code == 0, run.out[-3000:]
        lines = [l for l in run.lines if "time" not in l.lower() and " cost " not in l]
        files = {n: (project.out / n).read_bytes() for n in ("upload.json", "asset.json", "tips.json")}
        return lines, files

    one_lines, one_files = outputs(1)
    many_lines, many_files = outputs(3)
    assert len(json.loads(one_files["upload.json"])["asset"]) >= 120
    assert sum(l.startswith("bgeo: ") for l in one_lines) == 60
    assert one_files == many_files
    assert one_lines == many_lines
