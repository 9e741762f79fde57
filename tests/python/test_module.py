"""The module as host scripts use it: classes, free operations, module-wide state."""

import subprocess
import sys

import pytest
import scanflow
from conftest import base_env


def test_related_construction_and_sequence_helpers(project, capsys):
    related = scanflow.Related({"hip_file": str(project.root / "shot.hip"),
                                "path_json": str(project.out), "platform": ""})
    assert related.path_json == str(project.out)
    assert related.uploads_json_path == str(project.out) + "/upload.json"
    assert related.success_file == str(project.out) + "/analyze_sucess"
    assert related.platform == "2" and related.channel == "1"
    assert related.user_plugins == ["redshift", "vray"]
    assert related.task_json_dict["other"] == {"kept": True}
    assert related.tips_adict == {} and related.task_adict == {} and related.rs_asseted == set()
    assert related.getaset is None
    assert capsys.readouterr().out.count("*" * 30) == 4

    assert related.sequence_key("tex/wall.$F4.exr") == "tex/wall.*[0-9].exr"
    assert related.sequence_key("tex/wall.<UDIM>.exr") == "tex/wall.*[0-9].exr"
    nested = ["keep"]
    result = related.add_sequence_file(["f%d" % i for i in range(5)], nested)
    assert result is nested and nested == ["keep", "f0", "f4", "f2"]


def test_class_family(project):
    params = {"hip_file": str(project.root / "a.hip"), "path_json": str(project.out)}
    hip = scanflow.AnalysisHipAssets(params)
    assert isinstance(hip, scanflow.AnalysUsd) and isinstance(hip, scanflow.Related)
    assert "ifd" in hip.render_node_type and "karmarenderproperties" not in hip.render_node_type
    assert hip.all_ass == set() and hip.all_bgeo == set() and hip.otls_path == []
    top = scanflow.AnalysisAssets(dict(params, getaset={"ids": [1, 2]}, user_id=7))
    # Members that are not texts are handed back as they were given.
    assert top.param_dict == dict(params, getaset={"ids": [1, 2]}, user_id=7)
    assert top.getaset == {"ids": [1, 2]}
    assert issubclass(scanflow.AnalysUsdAsset, scanflow.AnalysUsd)
    with pytest.raises(scanflow.Error, match="KeyError"):
        scanflow.Related({"path_json": str(project.out)})


def test_collections_a_host_script_changes_are_the_ones_the_analysis_uses(project):
    hip = scanflow.AnalysisHipAssets({"hip_file": str(project.root / "a.hip"), "path_json": str(project.out)})
    tips = hip.tips_adict
    tips["50001"] = ["by the script"]
    assert hip.tips_adict is tips and hip.tips_adict == {"50001": ["by the script"]}
    proxy = project.root / "p.rs"
    proxy.write_bytes(b"x\0./tex/a.exr\0")
    read = hip.rs_asseted
    read.add(str(proxy))
    # The analysis sees the proxy as read already, and the script's set is the analysis's.
    assert hip.get_file_from_rs_cmd(str(proxy)) == []
    other = project.root / "q.rs"
    other.write_bytes(b"x\0./tex/b.exr\0")
    hip.get_file_from_rs_cmd(str(other))
    assert read == {str(proxy), str(other)}
    # A collection set whole is the one held from then on.
    denoise = ["mine"]
    hip.all_ar_denoise = denoise
    denoise.append("more")
    assert hip.all_ar_denoise == ["mine", "more"]
    hip.all_bgeo = {"/x.bgeo"}
    assert hip.get_bgeo_asset("/x.bgeo") == []  # read already, as the script said
    # The scene information a script stores is what the camera check reads; the script's own
    # members stay beside it.
    task = hip.task_adict
    assert hip.CheckCamera() == {}
    task["scene_info"] = {"rop_node": [{"node": "/out/nowhere"}]}
    task["mine"] = [1]
    with pytest.raises(SystemExit):
        hip.CheckCamera()
    assert hip.task_adict is task and task["mine"] == [1]
    assert task["scene_info"]["rop_node"][0]["node"] == "/out/nowhere"


def test_loading_sets_the_recursion_limit_and_unknown_names_are_errors():
    assert sys.getrecursionlimit() == 1000000
    with pytest.raises(AttributeError):
        _ = scanflow.no_such_thing


def test_print_helpers(capsys):
    scanflow.print_cmd("write %s ok" % "asset.json", sleep=0)
    scanflow.print_times("plain")
    scanflow.print_times({"a": 1}, ext="x")
    assert capsys.readouterr().out == (
        "<cmd><code>200</code><des>write asset.json ok</des></cmd>\nplain\n[debug]{'a': 1}\n")


def test_montion_levels(capsys):
    @scanflow.montion(1)
    def writeFile(a, b=0):
        print("writing", a, b)
        return "dropped"

    assert writeFile(1, b=2) is None
    out = capsys.readouterr().out.splitlines()
    assert out[0] == "#" * 30 + "writeFile is START" + "#" * 50
    assert out[1] == "writing 1 2"
    assert out[2].startswith("*" * 30 + "writeFile is END (time:")
    assert out[2].endswith(" s) " + "*" * 50)
    assert out[3:] == ["#", "#", ""]

    quiet = scanflow.montion(2)(lambda x: x * 2)
    assert quiet(21) == 42
    assert capsys.readouterr().out == ""


def test_montion_turns_errors_into_exit_886_and_lets_exit_requests_pass(capsys):
    @scanflow.montion(2)
    def glob_file(path):
        raise ValueError("bad pattern " + path)

    with pytest.raises(SystemExit) as info:
        glob_file("x[")
    assert info.value.code == 886
    out = capsys.readouterr().out
    assert out.endswith("ValueError: bad pattern x[\n##--##<< \n")

    @scanflow.montion(1)
    def analysis_assetsChecking():
        sys.exit(555)

    with pytest.raises(SystemExit) as info:
        analysis_assetsChecking()
    assert info.value.code == 555
    lines = capsys.readouterr().out.splitlines()
    assert len(lines) == 1 and "analysis_assetsChecking is START" in lines[0]


def test_optional_capabilities_are_reported_at_load(tmp_path):
    blocked = tmp_path / "blocked"
    for name in ("pxr", "arnold"):
        (blocked / name).mkdir(parents=True)
        (blocked / name / "__init__.py").write_text("raise ImportError('not here')\n")
    env = base_env()
    env["PYTHONPATH"] = str(blocked) + ":" + env["PYTHONPATH"]
    proc = subprocess.run([sys.executable, "-c", "import scanflow; print(hasattr(scanflow, 'Usd'))"],
                          capture_output=True, text=True, env=env, timeout=120)
    assert proc.stdout == "no arnold\nno Usd\nFalse\n"


def test_usd_is_found_when_installed():
    pytest.importorskip("pxr")
    proc = subprocess.run([sys.executable, "-c", "import scanflow; print(scanflow.Usd.__name__)"],
                          capture_output=True, text=True, env=base_env(), timeout=120)
    assert "no Usd" not in proc.stdout
    assert proc.stdout.splitlines()[-1] == "pxr.Usd"
