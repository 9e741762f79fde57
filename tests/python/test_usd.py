"""A USD file given in place of a scene: every composition arc, the result files."""

import hashlib

import pytest

from conftest import WEB_OPTIONS, base_env

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
