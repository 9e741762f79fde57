"""A USD file given in place of a scene: every composition arc, the result files."""

import hashlib

import pytest

from conftest import WEB_OPTIONS, base_env

pxr = pytest.importorskip("pxr")
from pxr import Sdf, Usd, UsdGeom  # noqa: E402


def build_stages(root):
    """A shot using sublayers, references, payloads, variants, value clips, UDIM textures, a
    reference cycle, a missing layer and a layer found only on the search path."""
    (root / "tex").mkdir()
    for tile in (1001, 1002):  # next to the layer: a directory the attribute's texture is searched in
        (root / ("skin.%d.exr" % tile)).write_text("t")
    (root / "tex/wood.exr").write_text("w")
    search = root / "search"
    search.mkdir()

    layout = Sdf.Layer.CreateNew(str(root / "layout.usda"))
    Usd.Stage.Open(layout).DefinePrim("/World/layout")
    layout.Save()

    Sdf.Layer.CreateNew(str(search / "far.usda")).Save()

    cycle_a = Usd.Stage.CreateNew(str(root / "cycle_a.usda"))
    cycle_a.DefinePrim("/A").GetReferences().AddReference("./cycle_b.usda")
    cycle_a.GetRootLayer().Save()
    cycle_b = Usd.Stage.CreateNew(str(root / "cycle_b.usda"))
    cycle_b.DefinePrim("/B").GetReferences().AddReference("./cycle_a.usda")
    cycle_b.GetRootLayer().Save()

    model = Usd.Stage.CreateNew(str(root / "model.usda"))
    prim = model.DefinePrim("/Model", "Xform")
    prim.CreateAttribute("texture:file", Sdf.ValueTypeNames.Asset).Set(Sdf.AssetPath("./tex/wood.exr"))
    model.GetRootLayer().Save()

    variant_a = Usd.Stage.CreateNew(str(root / "look_red.usda"))
    variant_a.DefinePrim("/Look")
    variant_a.GetRootLayer().Save()
    variant_b = Usd.Stage.CreateNew(str(root / "look_blue.usda"))
    variant_b.DefinePrim("/Look")
    variant_b.GetRootLayer().Save()

    for frame in (1, 2):
        clip = Usd.Stage.CreateNew(str(root / ("clip.%d.usda" % frame)))
        clip.DefinePrim("/Clip")
        clip.GetRootLayer().Save()

    shot = Usd.Stage.CreateNew(str(root / "shot.usda"))
    shot.GetRootLayer().subLayerPaths.append("./layout.usda")
    shot.SetStartTimeCode(1)
    shot.SetEndTimeCode(240.5)
    world = shot.DefinePrim("/World", "Xform")
    world.GetReferences().AddReference("./model.usda", "/Model")
    world.GetPayloads().AddPayload("./cycle_a.usda")
    world.GetReferences().AddReference("./missing.usda")
    world.GetReferences().AddReference("far.usda")
    look = shot.DefinePrim("/World/look")
    vset = look.GetVariantSets().AddVariantSet("color")
    for name, layer in (("red", "./look_red.usda"), ("blue", "./look_blue.usda")):
        vset.AddVariant(name)
        vset.SetVariantSelection(name)
        with vset.GetVariantEditContext():
            look.GetReferences().AddReference(layer)
    vset.SetVariantSelection("red")
    mesh = UsdGeom.Mesh.Define(shot, "/World/skin")
    mesh.GetPrim().CreateAttribute("primvars:skin_file", Sdf.ValueTypeNames.Asset).Set(
        Sdf.AssetPath("textures/skin.<UDIM>.exr"))
    clips = Usd.ClipsAPI(shot.DefinePrim("/World/anim"))
    clips.SetClipAssetPaths([Sdf.AssetPath("./clip.1.usda"), Sdf.AssetPath("./clip.2.usda")])
    clips.SetClipPrimPath("/Clip")
    clips.SetClipActive([(1, 0), (2, 1)])
    clips.SetClipTimes([(1, 1), (2, 2)])
    shot.GetRootLayer().Save()
    return search


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
    # A reference is stated relative to its layer: far.usda is reported missing there even though
    # the search path supplies it; a layer found nowhere is reported at both places looked at.
    assert sorted(asset["missing_file"]) == [r + "/far.usda", r + "/missing.usda", str(search / "missing.usda")]
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
