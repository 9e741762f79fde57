"""USD: a USD file given in place of a scene (every composition arc, the result files), and a scene
whose USD files are read while the library loads."""

import hashlib
import json

import hipwrite
import pytest
from conftest import TIMINGS, WEB_OPTIONS, base_env

pxr = pytest.importorskip("pxr")
from usd_scenes import build_stages  # noqa: E402


def test_a_usd_file_is_analysed_end_to_end(run_cli, project):
    root = project.root
    search = build_stages(root)
    scene = root / "shot.usda"
    env = base_env(HH=str(root / "hfs"), PXR_AR_DEFAULT_SEARCH_PATH=str(search))
    run = run_cli("-channel", "web", "-file", scene, "-path_json", project.out, *WEB_OPTIONS, env=env)
    assert run.code == 0, run.out[-4000:]
    r = str(root)
    asset = project.read("asset.json")
    assert list(asset) == ["scene_file_size", "asset_size", "asset_num", "asset", "Nested_Assets", "missing_file"]
    everything = asset["Nested_Assets"][str(scene)]
    for expected in ("layout.usda", "model.usda", "cycle_a.usda", "cycle_b.usda", "look_red.usda",
                     "clip.1.usda", "clip.2.usda", "tex/wood.exr", "skin.1001.exr", "skin.1002.exr"):
        assert r + "/" + expected in everything, expected
    assert str(search / "far.usda") in everything  # found only on the search path
    # The layer's own external references name every variant's layers.
    assert r + "/look_blue.usda" in everything
    # A reference the search path supplies is the file found there, never missing beside its
    # layer; a layer found nowhere is reported at both places looked at.
    assert r + "/far.usda" not in everything
    assert sorted(asset["missing_file"]) == [r + "/missing.usda", str(search / "missing.usda")]
    assert project.read("tips.json")["50001"] == asset["missing_file"]

    upload = project.read("upload.json")
    locals_ = [e["local"] for e in upload["asset"]]
    assert locals_[-1] == str(scene)  # the USD file itself is uploaded as an asset too
    assert r + "/skin.1002.exr" in locals_ and r + "/missing.usda" not in locals_
    assert upload["scene"][0]["hash"] == hashlib.md5(scene.read_bytes()).hexdigest()
    assert asset["asset_num"] == len(set(locals_))

    task = project.read("task.json")
    assert task["scene_info"] == {"rop_node": [{"node": "usd_rop", "frames": "1-240[1]", "render": "1", "option": "-1"}],
                                  "geo_node": [], "distributedsim_node": []}
    assert (project.out / "analyze_sucess").read_bytes() == b'""'
    assert not (project.out / "asset.txt").exists()
    run.assert_in_order("asset path : " + str(scene), "Analysis successful ...", "[analysis_assets done...]")


def test_asset_arrays_time_samples_and_texture_folders_are_found_as_the_library_finds_them(run_cli, project):
    from pxr import Sdf, Usd, UsdUtils
    root = project.root
    for rel in ("tex/wood.1001.exr", "tex/wood.1002.exr", "tex/a.exr", "tex/b.exr", "seq/f1.exr", "seq/f2.exr",
                "seq/f3.exr"):
        (root / rel).parent.mkdir(parents=True, exist_ok=True)
        (root / rel).write_text(rel)
    stage = Usd.Stage.CreateNew(str(root / "shot.usda"))
    prim = stage.DefinePrim("/World/mat", "Scope")
    textures = prim.CreateAttribute("inputs:layers", Sdf.ValueTypeNames.AssetArray)
    textures.Set(Sdf.AssetPathArray(["./tex/a.exr", "./tex/b.exr", "./tex/wood.<UDIM>.exr"]))
    per_frame = prim.CreateAttribute("inputs:file", Sdf.ValueTypeNames.Asset)
    for frame in (1, 2, 3):
        per_frame.Set(Sdf.AssetPath("./seq/f%d.exr" % frame), frame)
    stage.GetRootLayer().Save()
    run = run_cli("-channel", "web", "-file", root / "shot.usda", "-path_json", project.out, *WEB_OPTIONS,
                  env=base_env(HH=str(root / "hfs")))
    assert run.code == 0, run.out[-3000:]
    ours = {e["local"] for e in project.read("upload.json")["asset"]}
    layers, assets, unresolved = UsdUtils.ComputeAllDependencies(str(root / "shot.usda"))
    library = {layer.realPath for layer in layers} | set(assets)
    assert not unresolved
    assert library == {str(root / rel) for rel in ("shot.usda", "tex/a.exr", "tex/b.exr", "tex/wood.1001.exr",
                                                   "tex/wood.1002.exr", "seq/f1.exr", "seq/f2.exr", "seq/f3.exr")}
    assert ours == library
    assert project.read("asset.json")["missing_file"] == []


def test_a_texture_missing_beside_its_layer_is_reported_where_the_library_looks_for_it(run_cli, project):
    from pxr import Sdf, Usd, UsdUtils
    root = project.root
    (root / "assets" / "tex").mkdir(parents=True)
    (root / "assets" / "tex" / "here.exr").write_text("here")
    (root / "assets" / "tex" / "tile.1001.exr").write_text("tile")
    asset = Usd.Stage.CreateNew(str(root / "assets" / "asset.usda"))
    prim = asset.DefinePrim("/Asset", "Scope")
    asset.SetDefaultPrim(prim)
    for name, path in (("inputs:here", "./tex/here.exr"), ("inputs:lost", "./tex/lost.exr"),
                       ("inputs:tiles", "./tex/tile.<UDIM>.exr"), ("inputs:gone", "./tex/gone.<UDIM>.exr")):
        prim.CreateAttribute(name, Sdf.ValueTypeNames.Asset).Set(Sdf.AssetPath(path))
    frames = prim.CreateAttribute("inputs:frames", Sdf.ValueTypeNames.Asset)
    frames.Set(Sdf.AssetPath("./tex/here.exr"), 1)
    frames.Set(Sdf.AssetPath("../missing_frame.exr"), 2)
    asset.GetRootLayer().Save()
    shot = Usd.Stage.CreateNew(str(root / "shot.usda"))
    shot.DefinePrim("/World/asset").GetReferences().AddReference("./assets/asset.usda")
    shot.GetRootLayer().Save()
    run = run_cli("-channel", "web", "-file", root / "shot.usda", "-path_json", project.out, *WEB_OPTIONS,
                  env=base_env(HH=str(root / "hfs")))
    assert run.code == 0, run.out[-3000:]
    missing = project.read("asset.json")["missing_file"]
    # Beside the layer that holds them, not beside the stage; the tiles that are there are found.
    assert sorted(missing) == sorted([str(root / "missing_frame.exr"), str(root / "assets" / "tex" / "gone.<UDIM>.exr"),
                                      str(root / "assets" / "tex" / "lost.exr")])
    ours = {e["local"] for e in project.read("upload.json")["asset"]}
    assert str(root / "assets" / "tex" / "tile.1001.exr") in ours
    layers, assets, unresolved = UsdUtils.ComputeAllDependencies(str(root / "shot.usda"))
    assert {str(root / "assets" / "tex" / "lost.exr"), str(root / "missing_frame.exr")} <= set(unresolved)


def _outer(path):
    """The file the farm receives for a path inside a package: the package."""
    return path.split("[", 1)[0]


def test_template_clips_packages_and_search_paths_are_found_as_the_library_finds_them(run_cli, project):
    from pxr import Sdf, Usd, UsdUtils
    root = project.root
    (root / "tex").mkdir()
    (root / "clips").mkdir()
    for frame in (1, 2, 3):
        clip = Usd.Stage.CreateNew(str(root / "clips" / ("anim.%03d.usda" % frame)))
        texture = clip.DefinePrim("/Anim", "Xform").CreateAttribute("inputs:file", Sdf.ValueTypeNames.Asset)
        texture.Set(Sdf.AssetPath("../tex/c%d.exr" % frame), frame)
        clip.GetRootLayer().Save()
        (root / "tex" / ("c%d.exr" % frame)).write_text("c")
    manifest = Usd.Stage.CreateNew(str(root / "clips" / "manifest.usda"))
    manifest.DefinePrim("/Anim")
    manifest.GetRootLayer().Save()
    # A package whose layer names a texture and a layer inside it; a loose file of the same name
    # beside the package is not the one it reads.
    (root / "pkg" / "tex").mkdir(parents=True)
    (root / "pkg" / "tex" / "skin.png").write_bytes(b"\x89PNG\r\n\x1a\n" + b"0" * 64)
    part = Usd.Stage.CreateNew(str(root / "pkg" / "part.usda"))
    part.DefinePrim("/Part")
    part.GetRootLayer().Save()
    model = Usd.Stage.CreateNew(str(root / "pkg" / "model.usda"))
    prim = model.DefinePrim("/Model", "Xform")
    model.SetDefaultPrim(prim)
    prim.CreateAttribute("inputs:file", Sdf.ValueTypeNames.Asset).Set(Sdf.AssetPath("./tex/skin.png"))
    prim.GetReferences().AddReference("./part.usda", "/Part")
    model.GetRootLayer().Save()
    assert UsdUtils.CreateNewUsdzPackage(str(root / "pkg" / "model.usda"), str(root / "model.usdz"))
    (root / "part.usda").write_text("#usda 1.0\n")
    search = root / "search"
    search.mkdir()
    Sdf.Layer.CreateNew(str(search / "far.usda")).Save()

    stage = Usd.Stage.CreateNew(str(root / "shot.usda"))
    clips = Usd.ClipsAPI(stage.DefinePrim("/World/anim", "Xform"))
    clips.SetClipTemplateAssetPath("./clips/anim.###.usda")
    clips.SetClipTemplateStartTime(1)
    clips.SetClipTemplateEndTime(3)
    clips.SetClipTemplateStride(1)
    clips.SetClipPrimPath("/Anim")
    clips.SetClipManifestAssetPath("./clips/manifest.usda")
    stage.DefinePrim("/World/model").GetReferences().AddReference("./model.usdz")
    stage.DefinePrim("/World/far").GetReferences().AddReference("far.usda")
    stage.GetRootLayer().Save()

    env = base_env(HH=str(root / "hfs"), PXR_AR_DEFAULT_SEARCH_PATH=str(search))
    run = run_cli("-channel", "web", "-file", root / "shot.usda", "-path_json", project.out, *WEB_OPTIONS, env=env)
    assert run.code == 0, run.out[-3000:]
    ours = {e["local"] for e in project.read("upload.json")["asset"]}
    asset = project.read("asset.json")
    assert asset["missing_file"] == [] and project.read("tips.json")["50001"] == []
    assert str(root / "part.usda") not in ours and str(root / "pkg" / "tex" / "skin.png") not in ours
    library = run_python_dependencies(root / "shot.usda", search)
    assert library <= ours
    # Older releases of the library do not follow what clip layers name; ours do.
    assert ours - library <= {str(root / "tex" / ("c%d.exr" % frame)) for frame in (1, 2, 3)}


def run_python_dependencies(layer, search):
    """Every file the library's own dependency walk names, in a process whose resolver searches
    `search`, packaged files standing for their package."""
    import subprocess
    import sys
    code = ("import sys; from pxr import UsdUtils; l, a, u = UsdUtils.ComputeAllDependencies(sys.argv[1]); "
            "print('\\n'.join([x.realPath for x in l] + list(a) + ['!' + x for x in u]))")
    out = subprocess.run([sys.executable, "-c", code, str(layer)], capture_output=True, text=True, check=True,
                         env=base_env(PXR_AR_DEFAULT_SEARCH_PATH=str(search))).stdout.split()
    assert not [x for x in out if x.startswith("!") and "###" not in x], out
    return {_outer(x) for x in out if not x.startswith("!")}


def test_recorded_variant_selections_are_followed(project):
    import scanflow
    build_stages(project.root)
    hip = scanflow.AnalysisHipAssets({"hip_file": str(project.root / "a.hip"), "path_json": str(project.out)})
    refs = hip.get_stage_references(str(project.root / "shot.usda"))
    assert str(project.root / "look_red.usda") in refs
    assert refs == sorted(refs)


def test_an_unreadable_usd_file_names_itself(run_cli, project):
    scene = project.root / "broken.usda"
    scene.write_text("#usda 1.0\n(\n  this is not usd\n")
    run = run_cli("-channel", "web", "-file", scene, "-path_json", project.out, *WEB_OPTIONS)
    assert run.code == 886 % 256
    assert str(scene) in run.out
    run.assert_in_order("ERROR CALLS", "Analysis failure")


def test_non_selected_variants_are_read_and_the_selection_restored(project):
    import scanflow
    from pxr import Usd
    build_stages(project.root)
    stage = Usd.Stage.Open(str(project.root / "shot.usda"))
    look = stage.GetPrimAtPath("/World/look")
    walker = scanflow.AnalysUsd({"hip_file": "x", "path_json": str(project.out)})
    layers = walker.get_non_selected_variant_data(look, {"color": "blue"})
    assert any(layer.endswith("look_blue.usda") for layer in layers)
    assert not any(layer.endswith("look_red.usda") for layer in layers)
    assert look.GetVariantSet("color").GetVariantSelection() == "red"


def test_every_layer_operation_is_reachable_from_a_host_script(project, monkeypatch, capfd):
    import scanflow
    from pxr import Sdf
    root = project.root
    search = build_stages(root)
    monkeypatch.setenv("PXR_AR_DEFAULT_SEARCH_PATH", str(search))
    walker = scanflow.AnalysUsd({"hip_file": "x", "path_json": str(project.out)})

    # A layer's external layers, depth first; a cycle ends; a layer missing beside its layer is
    # looked for on the search path, and listed there even when it is missing there too; value
    # clips are not layers the layer names.
    layers = {"kept"}
    assert walker.get_refe_layer(str(root / "shot.usda"), layers) is None
    r = str(root)
    assert layers == {r + "/shot.usda", r + "/layout.usda", r + "/model.usda", r + "/cycle_a.usda",
                      r + "/cycle_b.usda", r + "/look_red.usda", r + "/look_blue.usda",
                      str(search / "missing.usda"),
                      str(search / "far.usda"), "kept"}

    # A reference item is resolved against the directory of the layer that states it; a layer
    # with sublayers anchors at its first sublayer as written, relative to `dir_path`, and where
    # that directory is missing the working directory serves; an asset value is read with flag 1.
    shot = Sdf.Layer.FindOrOpen(str(root / "shot.usda"))
    model = Sdf.Layer.FindOrOpen(str(root / "model.usda"))
    reference = Sdf.Reference("./tex/../model.usda")
    assert walker.resolve_ref(model, reference, "/elsewhere") == r + "/model.usda"
    assert walker.resolve_ref(shot, reference, r) == r + "/model.usda"
    monkeypatch.chdir(root / "tex")
    capfd.readouterr()
    assert walker.resolve_ref(shot, reference, str(root / "absent")) == r + "/tex/model.usda"
    assert "local not exists " + str(root / "absent") in capfd.readouterr().out
    assert walker.resolve_ref(model, Sdf.AssetPath("tex/wood.exr"), r, 1) == r + "/tex/wood.exr"
    assert walker.resolve_ref(str(root / "model.usda"), "tex/wood.exr", r) == r + "/tex/wood.exr"


def test_every_usd_file_operation_is_reachable_from_a_host_script(project, monkeypatch):
    import pxr.Usd
    import scanflow
    root = project.root
    build_stages(root)
    monkeypatch.setenv("HH", str(root / "hfs"))
    r = str(root)
    driver = scanflow.AnalysUsdAsset({"hip_file": str(root / "shot.usda"), "path_json": str(project.out)})

    assert driver.getUsdver() == ".".join(str(n) for n in pxr.Usd.GetVersion())
    assert driver.getUsdframe() == (1.0, 240.5)
    assert driver.UsdRopNodeSetting() == [{"node": "usd_rop", "frames": "1-240[1]", "render": "1", "option": "-1"}]
    found = driver.getUsdAsset()
    assert r + "/model.usda" in found and r + "/missing.usda" in found

    (root / "seq.0001.exr").write_text("a")
    (root / "seq.0002.exr").write_text("b")
    present, missing, everything = driver.allusdAsset(
        [r + "/model.usda", r + "\\model.usda", r + "/seq.$F4.exr", r + "/gone.exr", r + "/gone.exr", "bare.exr"])
    assert present == [r + "/model.usda", r + "/seq.0001.exr", r + "/seq.0002.exr"]
    assert missing == [r + "/gone.exr"]
    assert everything == [r + "/model.usda", r + "/seq.0001.exr", r + "/seq.0002.exr", r + "/gone.exr"]

    driver.AnalyRenderNode()
    assert project.read("task.json")["scene_info"]["rop_node"][0]["frames"] == "1-240[1]"
    # Tips a host script files, of any shape, are written beside the analysis's own.
    tips = driver.tips_adict
    tips["60000"] = {"count": 2}
    tips["50104"] = ["by the script"]
    driver.AssetInfo()
    assert (project.out / "analyze_sucess").exists()
    assert r + "/missing.usda" in project.read("asset.json")["missing_file"]
    written = project.read("tips.json")
    assert list(written) == ["60000", "50104", "50001"]
    assert written["60000"] == {"count": 2} and written["50104"] == ["by the script"]
    assert tips["50001"] == written["50001"] and r + "/missing.usda" in tips["50001"]


# Run in a fresh interpreter: the USD library's import is made slow, so that the analysis prints
# while the thread importing it runs; everything the module prints is captured from sys.stdout,
# then a line of the caller's own.
CAPTURED_RUN = r"""
import importlib.abc, json, sys, time

DELAY = float(sys.argv[1])

class SlowUsd(importlib.abc.MetaPathFinder):
    def find_spec(self, name, path=None, target=None):
        if name == "pxr.Usd":
            time.sleep(DELAY)
        return None

class Capture:
    def __init__(self):
        self.parts = []
    def write(self, text):
        self.parts.append(text)
        return len(text)
    def flush(self):
        pass

sys.meta_path.insert(0, SlowUsd())
real, sys.stdout = sys.stdout, Capture()
import scanflow
sys.argv = ["scanflow"] + sys.argv[2:]
try:
    scanflow.main()
except SystemExit as end:
    print("exit", end.code)
print("the caller's line")
captured, sys.stdout = sys.stdout, real
print(json.dumps("".join(captured.parts)))
"""


def test_lines_printed_while_the_library_loads_reach_sys_stdout_in_order(run_python, project):
    root = project.root
    (root / "tex").mkdir()
    for name in ("a.exr", "b.exr", "layer.exr"):
        (root / "tex" / name).write_bytes(b"x")
    (root / "sub.usda").write_text('#usda 1.0\ndef "s" {\n    asset tex = @./tex/layer.exr@\n}\n')
    (root / "shot.usda").write_text('#usda 1.0\n(\n    subLayers = [@./sub.usda@]\n)\n')
    # Read before the USD file, while the library loads.
    (root / "proc.ass").write_text('image\n{\n name img\n filename "%s"\n}\n' % (root / "tex" / "b.exr"))
    nodes = [{"path": "/stage", "type": "lopnet"},
             {"path": "/stage/sublayer1", "type": "sublayer", "parms": {"filepath1": str(root / "shot.usda")}},
             {"path": "/obj/file1", "type": "file", "parms": {"file": str(root / "tex" / "a.exr")}},
             {"path": "/obj/proc1", "type": "arnold::procedural", "parms": {"filename": str(root / "proc.ass")}}]
    scene = root / "shot.hip"
    hipwrite.write_cpio(scene, {"nodes": nodes})

    def captured(delay):
        out = root / ("out%g" % delay)
        out.mkdir()
        (out / "task.json").write_text(json.dumps({"task_info": {"platform": "2", "channel": "1"},
                                                   "software_config": {"plugins": {}}}))
        run = run_python(CAPTURED_RUN, delay, "-channel", "web", "-file", scene, "-path_json", out,
                         *WEB_OPTIONS, env=base_env(SCANFLOW_HOST="hip"))
        assert run.code == 0, run.err[-3000:]
        return TIMINGS.sub("T", json.loads(run.out.splitlines()[-1]).replace(str(out), "<out>"))

    slow, quick = captured(0.5), captured(0)
    assert "asset path : " + str(root / "proc.ass") in slow
    assert "asset path : " + str(root / "shot.usda") in slow
    assert "write analyze_sucess ok" in slow
    assert slow.endswith("exit 0\nthe caller's line\n")
    assert slow == quick


LOADED_AFTER_RUN = r"""
import sys
import scanflow
sys.argv = ["scanflow"] + sys.argv[1:]
try:
    scanflow.main()
except SystemExit as end:
    assert end.code == 0, end.code
print("pxr.Usd loaded:", "pxr.Usd" in sys.modules)
"""


@pytest.mark.parametrize("usd_file", [None, "missing.usda"])
def test_the_library_is_loaded_when_a_parameter_names_a_usd_file_and_not_otherwise(run_python, project, usd_file):
    root = project.root
    (root / "a.exr").write_bytes(b"x")
    nodes = [{"path": "/obj/file1", "type": "file", "parms": {"file": str(root / "a.exr")}}]
    if usd_file:
        # Loaded ahead as soon as a parameter names a USD file, before anything says whether the
        # file is there.
        nodes.append({"path": "/stage/sublayer1", "type": "sublayer", "parms": {"filepath1": str(root / usd_file)}})
    scene = root / "shot.hip"
    hipwrite.write_cpio(scene, {"nodes": nodes})
    run = run_python(LOADED_AFTER_RUN, "-channel", "web", "-file", scene, "-path_json", project.out, *WEB_OPTIONS,
                     env=base_env(SCANFLOW_HOST="hip"))
    assert run.code == 0, run.out[-3000:] + run.err[-3000:]
    assert run.lines[-1] == "pxr.Usd loaded: %s" % bool(usd_file)


# Prints the library's thread limit when the command line ends.
THREADS_AT_EXIT = """
import atexit, sys, scanflow
from pxr import Work
atexit.register(lambda: print("threads", Work.GetConcurrencyLimit()))
sys.argv = ["scanflow"] + sys.argv[1:]
scanflow.main()
"""


@pytest.mark.parametrize("limit, threads", [(None, 1), ("2", 2)])
def test_the_command_line_walks_on_one_thread_unless_told_otherwise(run_python, project, limit, threads):
    (project.root / "a.usda").write_text('#usda 1.0\ndef "A" (\n  references = @./b.usda@\n) {}\n')
    (project.root / "b.usda").write_text('#usda 1.0\ndef "B" {}\n')
    env = base_env()
    env.pop("PXR_WORK_THREAD_LIMIT", None)
    if limit:
        env["PXR_WORK_THREAD_LIMIT"] = limit
    run = run_python(THREADS_AT_EXIT, "-channel", "web", "-file", project.root / "a.usda", "-path_json", project.out,
                     *WEB_OPTIONS, env=env)
    assert run.code == 0, run.out[-3000:] + run.err[-3000:]
    assert run.out.splitlines()[-1] == "threads %d" % threads
