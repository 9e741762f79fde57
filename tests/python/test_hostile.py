"""A customer's scene is untrusted input: what it, or the folder it lies in, can make the
analysis do."""

import json
import os
import subprocess
import sys

import hipwrite
import hostile_inputs
import pytest
from conftest import TASK_JSON, WEB_OPTIONS, base_env

OPTIONAL = ("arnold", "hjson", "hou", "torch", "tensorflow", "pynvml")


def test_optional_modules_are_never_taken_from_the_working_directory(tmp_path):
    # A scene's folder, as the working directory, holding files named like the optional modules.
    marker = tmp_path / "ran"
    plant = "open(%r, 'a').write(__name__ + '\\n')\n" % str(marker)
    for name in OPTIONAL:
        (tmp_path / (name + ".py")).write_text(plant)
    (tmp_path / "pxr").mkdir()
    (tmp_path / "pxr" / "__init__.py").write_text(plant)
    # A parameter naming a USD file makes the analysis load the USD library.
    hipwrite.write_cpio(tmp_path / "shot.hip", {"version": "20.0.547", "nodes": [
        {"path": "/obj", "type": "obj"},
        {"path": "/obj/geo1", "type": "geo", "parms": {"layer": "$HIP/set.usd"}}]})
    out = tmp_path / "out"
    out.mkdir()
    (out / "task.json").write_text(json.dumps(TASK_JSON))
    env = base_env()
    env["PYTHONPATH"] = ""  # nothing but what is installed, and the working directory
    code = ("import scanflow, sys; scanflow.has_gpu();"
            "sys.argv = ['scanflow'] + sys.argv[1:]; scanflow.main()")
    proc = subprocess.run([sys.executable, "-c", code, "-channel", "web", "-file", "shot.hip",
                           "-path_json", str(out)] + WEB_OPTIONS,
                          cwd=tmp_path, env=env, capture_output=True, text=True, timeout=120)
    assert proc.returncode == 0, proc.stdout[-2000:] + proc.stderr
    assert not marker.exists(), "ran from the working directory: " + marker.read_text()
    assert "no arnold" in proc.stdout  # the planted arnold.py was not taken for the binding


def _asset_lines(out):
    return (out / "asset.txt").read_text(encoding="utf-8").splitlines()


def _nested(out, name):
    nested = json.loads((out / "asset.json").read_text())["Nested_Assets"]
    return next(files for path, files in nested.items() if path.endswith(name))


# What each hostile input must end in: exit 0 with what the results show, or the failure code
# with standard error naming the file.
EXPECTED = {
    "nested if statements": lambda r, out: "/obj/deep" in json.loads((out / "tips.json").read_text())["50105"],
    "Python references in parentheses": lambda r, out: "/obj/refs" in json.loads((out / "tips.json").read_text())["50105"],
    "doubling references": lambda r, out: (out / "analyze_sucess").exists(),
    "growing values": lambda r, out: "/obj/grow" in json.loads((out / "tips.json").read_text())["50105"],
    "deep wildcard": lambda r, out: "the wildcard path /nonexistent/*/*" in r.err and "50000 " not in r.err,
    "looping wildcard": lambda r, out: "loop/*/*/*/*/*/*/*/x.png lists more than" in r.err,
    "escaped backticks": lambda r, out: json.loads((out / "asset.json").read_text())["asset_node"] == {
        "/obj/geo1/read/file": str(out.parent / "take`2`.png")},
    # A value of several lines names no file: nothing of it reaches the list file.
    "control characters in a path": lambda r, out: _asset_lines(out).count("[asset]") == 1
    and "b.png" not in (out / "asset.txt").read_text(encoding="utf-8"),
    "FIFO .ass": lambda r, out: "x.ass: it is not a regular file" in r.err,
    "FIFO .vrscene": lambda r, out: "x.vrscene: it is not a regular file" in r.err,
    "FIFO .rs": lambda r, out: "x.rs: it is not a regular file" in r.err,
    "FIFO .bgeo": lambda r, out: "x.bgeo: it is not a regular file" in r.err,
    "FIFO .usda": lambda r, out: "x.usda is not opened: it is not a regular file" in r.err,
    "FIFO image list of a V-Ray scene": lambda r, out: "seq.ifl: it is not a regular file" in r.err,
    "FIFO USD sublayer": lambda r, out: "sub.usda is not opened: it is not a regular file" in r.err,
    "links to devices": lambda r, out: ".rs: it is not a regular file" in r.err,
    "long V-Ray scene line": lambda r, out: [os.path.basename(p) for p in _nested(out, "big.vrscene")] == [
        "b.png", "c.png"],
    "deep USD layer": lambda r, out: "deep.usda is not opened: its brackets nest 20000 deep" in r.err,
    "deep task file": lambda r, out: "task.json: nested deeper than 512 levels" in r.err,
    "asset containing itself": lambda r, out: "assets nest deeper than 64 levels" in r.out,
    "huge task integers": lambda r, out: '"big": 123456789012345678901234567890,' in (out / "task.json").read_text()
    and '"negative": -98765432109876543210' in (out / "task.json").read_text(),
}


@pytest.mark.parametrize("name,maker", hostile_inputs.CASES, ids=[n for n, _ in hostile_inputs.CASES])
def test_hostile_inputs_end_in_a_result_or_an_error_naming_them(run_cli, tmp_path, name, maker):
    scene, out = hostile_inputs.prepare(maker, tmp_path, TASK_JSON)
    run = run_cli("-channel", "web", "-file", scene, "-path_json", out, *WEB_OPTIONS,
                  env=base_env(SCANFLOW_HOST="hip", HH=str(tmp_path / "hfs")), cwd=tmp_path)
    assert run.code in (0, 886 & 0xFF), run.err[-2000:]
    if run.code:
        assert "the analysis failed (exit 886)" in run.err
    assert EXPECTED[name](run, out), run.out[-2000:] + run.err[-2000:]


def _confined_project(tmp_path):
    root, outside = tmp_path / "show", tmp_path / "farm"
    (root / "tex").mkdir(parents=True)
    (outside / "maps").mkdir(parents=True)
    (root / "tex" / "in.png").write_text("in")
    (root / "tex" / "ok.png").write_text("ok")
    (outside / "secret.txt").write_text("the farm's own")
    (outside / "maps" / "a.png").write_text("a")
    os.symlink(str(outside / "secret.txt"), str(root / "link.png"))
    os.symlink(str(outside / "maps"), str(root / "maps"))
    values = ["$HIP/tex/in.png", str(outside / "secret.txt"), "$HIP/link.png", "$HIP/maps/*.png",
              "$SECRET_TOKEN/x.png", "$ALLOWED_DIR/ok.png"]
    scene = hostile_inputs._files_scene(root, values)
    (root / "hfs").mkdir()
    out = tmp_path / "out"
    out.mkdir()
    (out / "task.json").write_text(json.dumps(TASK_JSON))
    env = base_env(SCANFLOW_HOST="hip", HH=str(root / "hfs"), SECRET_TOKEN="/very/secret",
                   ALLOWED_DIR=str(root / "tex"))
    return root, outside, scene, out, env


@pytest.mark.parametrize("form", ["option", "environment"])
def test_a_confined_run_neither_lists_nor_reads_nor_expands_outside_its_roots(run_cli, tmp_path, form):
    root, outside, scene, out, env = _confined_project(tmp_path)
    command = ["-channel", "web", "-file", scene, "-path_json", out] + WEB_OPTIONS
    if form == "option":
        command += ["-confine", str(root), "-confine_env", "ALLOWED_DIR"]
    else:
        env.update(SCANFLOW_CONFINE=str(root), SCANFLOW_CONFINE_ENV="ALLOWED_DIR")
    run = run_cli(*command, env=env)
    assert run.code == 0, run.err[-2000:]
    written = "".join((out / name).read_text() for name in ("upload.json", "asset.json", "tips.json", "asset.txt"))
    assert str(outside) + "/secret.txt\"" not in (out / "upload.json").read_text()
    assert "the farm's own" not in written and "/very/secret" not in written
    uploaded = json.loads((out / "upload.json").read_text())
    uploaded = json.dumps(uploaded)
    assert "tex/in.png" in uploaded and "tex/ok.png" in uploaded  # inside, and an allowed variable
    assert "secret" not in uploaded and "maps" not in uploaded
    tips = json.loads((out / "tips.json").read_text())
    # What the scene named, and the links that lead out.
    assert sorted(tips["50111"]) == sorted([str(outside / "secret.txt"), str(root / "link.png"), str(root / "maps"),
                                            str(root / "maps" / "*.png")])
    # The protocol on standard output is the same as without confinement but for what is found.
    assert "-confine" not in run.out


def test_without_confinement_the_same_scene_reaches_everything(run_cli, tmp_path):
    root, outside, scene, out, env = _confined_project(tmp_path)
    run = run_cli("-channel", "web", "-file", scene, "-path_json", out, *WEB_OPTIONS, env=env)
    assert run.code == 0, run.err[-2000:]
    uploaded = (out / "upload.json").read_text()
    assert "secret.txt" in uploaded and "maps/a.png" in uploaded
    assert "/very/secret/x.png" in (out / "asset.json").read_text()  # the variable is expanded
    assert "50111" not in json.loads((out / "tips.json").read_text())


def test_a_confined_run_does_not_let_the_usd_library_open_layers_outside_its_roots(run_cli, tmp_path):
    root, outside, scene, out, env = _confined_project(tmp_path)
    (outside / "sub.usda").write_text('#usda 1.0\ndef "Farm" {}\n')
    (root / "top.usda").write_text('#usda 1.0\n(\n    subLayers = [@%s@]\n)\n' % (outside / "sub.usda"))
    scene = hostile_inputs._files_scene(root, ["$HIP/top.usda"])
    run = run_cli("-channel", "web", "-file", scene, "-path_json", out, *WEB_OPTIONS, "-confine", str(root), env=env)
    assert run.code == 886 & 0xFF
    assert "sub.usda is not opened: it lies outside the roots" in run.err
