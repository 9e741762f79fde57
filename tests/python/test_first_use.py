"""What a new user meets first: a scene named by a relative path, scenes that cannot be analysed,
runs that fail and say why on standard error, and the README's own examples."""

import json
import re
import subprocess
import sys
from pathlib import Path

import hipwrite
import pytest
from conftest import TASK_JSON, WEB_OPTIONS, base_env, scanflow_command
from test_analysis import make_project

ROOT = Path(__file__).resolve().parents[2]
RESULTS = ("upload.json", "asset.json", "tips.json", "task.json", "asset.txt", "analyze_sucess")


def fresh_results(out):
    out.mkdir(exist_ok=True)
    for name in RESULTS:
        if (out / name).exists():
            (out / name).unlink()
    (out / "task.json").write_text(json.dumps(TASK_JSON), encoding="utf-8")


def results(out):
    return {name: (out / name).read_bytes() for name in RESULTS if (out / name).exists()}


@pytest.mark.parametrize("host", ["hip", "hou"])
def test_a_relative_scene_path_gives_the_results_of_the_absolute_one(run_cli, project, host):
    description = make_project(project)
    if host == "hip":
        scene = project.root / "shot.hip"
        hipwrite.write_cpio(scene, description)
    else:
        scene = project.scene(description)
    env = base_env(SCANFLOW_HOST=host, HH=str(project.root / "hfs"))

    def analyse(spelling):
        fresh_results(project.out)
        run = run_cli("-channel", "web", "-file", spelling, "-path_json", project.out, *WEB_OPTIONS,
                      env=env, cwd=project.root)
        assert run.code == 0, run.out[-2000:] + run.err
        return results(project.out)

    expected = analyse(scene)
    upload = json.loads(expected["upload.json"])
    assert upload["scene"][0]["local"] == str(scene)
    assert len(upload["asset"]) > 3  # the textures and caches that $HIP names were found
    for spelling in ("./shot.hip", "shot.hip", "../%s/shot.hip" % project.root.name):
        assert analyse(spelling) == expected, spelling


def test_a_failed_run_says_why_on_standard_error(run_cli, project):
    scene = project.scene({"version": "20.0.547", "nodes": [{"path": "/obj", "type": "obj"}]})
    task = project.out / "task.json"
    cases = [
        (lambda: task.write_text(""), "FileError: cannot read JSON from %s: line 1, column 1: " % task),
        (lambda: task.write_text('{"task_info": {"platform": "2",\n "channel": }'),
         "FileError: cannot read JSON from %s: line 2, column 13: " % task),
        (lambda: task.unlink(), "FileError: cannot open %s: " % task),
    ]
    for spoil, cause in cases:
        fresh_results(project.out)
        spoil()
        run = run_cli("-channel", "web", "-file", scene, "-path_json", project.out, *WEB_OPTIONS)
        assert run.code == 886 % 256
        last = run.err.splitlines()[-1]
        assert last.startswith("scanflow: the analysis failed (exit 886): " + cause), last
        assert not (project.out / "analyze_sucess").exists()
    # A result folder that does not exist holds no task file either, and says so.
    absent = project.root / "nowhere"
    run = run_cli("-channel", "web", "-file", scene, "-path_json", absent, *WEB_OPTIONS)
    assert run.code == 886 % 256
    assert "cannot open %s/task.json" % absent in run.err.splitlines()[-1]
    # An exit request raised inside keeps the error that caused it.
    scene = project.scene({"version": "20.0.547", "nodes": [{"path": "/obj", "type": "obj"}],
                           "raise": {"applicationVersionString": "licence lost"}}, name="lost.hip")
    fresh_results(project.out)
    run = run_cli("-channel", "web", "-file", scene, "-path_json", project.out, *WEB_OPTIONS)
    assert run.err.splitlines()[-1] == \
        "scanflow: the analysis failed (exit 886): hou.OperationFailed: licence lost"


def test_a_channel_that_runs_nothing_says_so(run_cli):
    run = run_cli()
    assert run.code == 0 and run.lines == ["there is nothing else."]
    assert "no -channel given" in run.err
    run = run_cli("-channel", "Web", "-file", "x.hip")
    assert run.code == 0 and run.lines[-1] == "there is nothing else."
    assert "-channel Web is not a run mode" in run.err and "-channel web" in run.err
    run = run_cli("-channel", "render")
    assert "-channel render is not a run mode (web, test or client)" in run.err


def test_output_drivers_inside_assets_our_reader_cannot_see_raise_no_false_tip(run_cli, project):
    nodes = [{"path": "/obj", "type": "obj"}, {"path": "/obj/sim", "type": "geo"},
             {"path": "/obj/sim/filecache1", "type": "filecache::2.0", "parms": {"file": "$HIP/cache/a.$F.bgeo.sc"}}]
    scene = project.root / "cache.hip"
    hipwrite.write_cpio(scene, {"version": "20.0.547", "nodes": nodes})
    env = base_env(SCANFLOW_HOST="hip", HH=str(project.root / "hfs"))
    run = run_cli("-channel", "web", "-file", scene, "-path_json", project.out, *WEB_OPTIONS, env=env)
    assert run.code == 0, run.out[-2000:]
    assert "50010" not in project.read("tips.json")
    assert "/obj/sim/filecache1 (filecache::2.0) writes through output drivers" in run.err
    # Without such a node the scene has no output, and the tip says so.
    hipwrite.write_cpio(scene, {"version": "20.0.547", "nodes": nodes[:2]})
    fresh_results(project.out)
    run = run_cli("-channel", "web", "-file", scene, "-path_json", project.out, *WEB_OPTIONS, env=env)
    assert project.read("tips.json")["50010"] == ["The scene has no render node set, please add render node"]


def readme_blocks():
    text = (ROOT / "README.md").read_text(encoding="utf-8")
    return [m.group(1) for m in re.finditer(r"```python\n(.*?)```", text, re.S)]


def test_the_readme_host_script_example_runs_in_an_empty_folder(tmp_path):
    blocks = [b for b in readme_blocks() if "scanflow.Related" in b]
    assert blocks, "the README shows how a host script uses the module"
    proc = subprocess.run([sys.executable, "-c", blocks[0]], cwd=tmp_path, capture_output=True, text=True,
                          env=base_env(), timeout=120)
    assert proc.returncode == 0, proc.stdout + proc.stderr
    assert "'tex/wall.*[0-9].exr'" in proc.stdout


def test_the_readme_command_line_runs_as_written(tmp_path):
    text = (ROOT / "README.md").read_text(encoding="utf-8")
    block = re.search(r"```sh\n(HH=.*?)```", text, re.S)
    assert block, "the README shows a command line with HH set"
    words = block.group(1).replace("\\\n", " ").split()
    env = base_env(SCANFLOW_HOST="hip")  # as where the host is not installed
    settings = [w for w in words if re.fullmatch(r"[A-Z_]+=.*", w)]
    for setting in settings:
        name, value = setting.split("=", 1)
        env[name] = value
    args = words[len(settings) + 1:]
    demo = tmp_path / "demo"
    import shutil
    shutil.copytree(ROOT / "examples" / "demo", demo, ignore=shutil.ignore_patterns("out"))
    out = Path(args[args.index("-path_json") + 1])
    assert not out.is_absolute(), "the example runs from the project's folder"
    (demo / out).mkdir(parents=True)
    shutil.copy(demo / "task.json", demo / out / "task.json")
    proc = subprocess.run(scanflow_command() + args, cwd=demo, capture_output=True, text=True, env=env,
                          timeout=120)
    assert proc.returncode == 0, proc.stdout[-2000:] + proc.stderr
    assert (demo / out / "analyze_sucess").exists()
    upload = json.loads((demo / out / "upload.json").read_text(encoding="utf-8"))
    assert len(upload["asset"]) == 8
