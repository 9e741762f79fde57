"""What the command line tells a person on standard error: what went wrong, a progress line on a
terminal, and a summary at the end. Standard output, the client's protocol, is not touched."""

import os
import pty
import re
import select
import subprocess

from conftest import WEB_OPTIONS, base_env, scanflow_command

MISSING = ["$HIP/tex/missing_%02d.exr" % i for i in range(12)]
SCENE = {
    "version": "20.0.547",
    "nodes": [
        {"path": "/obj", "type": "obj"},
        {"path": "/obj/cam1", "type": "cam", "parms": {"resx": 1920, "resy": 1080}},
        {"path": "/obj/shade", "type": "geo",
         "parms": {"tex_%02d" % i: path for i, path in enumerate(MISSING)}},
        {"path": "/out", "type": "ropnet"},
        {"path": "/out/mantra1", "type": "ifd",
         "parms": {"f1": 1001, "f2": 1100, "f3": 1, "camera": "/obj/cam1", "vm_picture": "$HIP/r.$F4.exr"}},
    ],
}


def web(run_cli, project, scene, *extra, env=None):
    return run_cli("-channel", "web", "-file", scene, "-path_json", project.out, *WEB_OPTIONS, *extra,
                   env=env)


def test_a_missing_option_is_one_line_without_a_trace(run_cli, project):
    for args in (["-channel", "web", "-file"], ["-channel", "web", "-file", "x.hip", "-path_json", project.out]):
        run = run_cli(*args)
        assert run.code == 1
        assert "Traceback" not in run.err
        lines = run.err.splitlines()
        assert len(lines) == 1 and lines[0].startswith("scanflow: ") and "--help" in lines[0], run.err
    assert "-plugin_server_dir" in run.err
    assert "open houdini file" not in run.out


def test_scenes_that_cannot_be_analysed_are_named_and_the_exit_code_stays(run_cli, project):
    (project.root / "folder.hip").mkdir()
    nc = project.scene(SCENE, name="shot.hipnc")
    cases = {project.root / "absent.hip": "does not exist", project.root / "folder.hip": "names a directory",
             nc: "non-commercial", project.scene(SCENE, name="notes.txt"): "not a scene the analysis reads"}
    for scene, words in cases.items():
        run = web(run_cli, project, scene)
        assert run.code == 0
        assert words in run.err and str(scene) in run.err, run.err
        assert "open houdini file" not in run.out
        assert "scanflow: analysed" not in run.err  # no summary: nothing was analysed


def test_an_unset_installation_directory_is_named_before_the_run_fails(run_cli, project):
    env = base_env()
    env.pop("HH")
    run = web(run_cli, project, project.scene(SCENE), env=env)
    assert run.code == 886 % 256
    assert run.err.splitlines()[0].startswith("scanflow: HH is not set")
    assert "scanflow: the analysis failed (exit 886)" in run.err


def test_the_summary_names_files_render_nodes_and_tips_in_words(run_cli, project):
    scene = project.scene(SCENE)
    run = web(run_cli, project, scene)
    assert run.code == 0, run.out + run.err
    summary = run.err.splitlines()
    assert summary[0] == "scanflow: analysed %s; results in %s" % (scene, project.out)
    missing = [line for line in summary if line.startswith("    %s/tex/missing_" % project.root)]
    assert len(missing) == 10  # the first ten, then a count
    assert "    ... and 2 more" in summary
    assert "  files missing: 12" in summary
    assert "  render nodes: 1" in summary
    node = next(line for line in summary if line.startswith("    /out/mantra1: "))
    assert "frames 1001-1100[1]" in node and "camera /obj/cam1" in node
    assert any(re.fullmatch(r"    50001 \(12\): files the scene needs are missing", line) for line in summary)
    # Standard output is the protocol and does not change with or without the summary.
    quiet = web(run_cli, project, scene, "-quiet")
    assert quiet.err == ""
    assert scrub(quiet.out) == scrub(run.out)


def test_quiet_from_the_environment_and_failures_told(run_cli, project):
    run = web(run_cli, project, project.root / "absent.hip", env=base_env(SCANFLOW_QUIET="1"))
    assert run.code == 0 and run.err == ""
    scene = project.scene(dict(SCENE, **{"raise": {"applicationVersionString": "licence lost"}}))
    run = web(run_cli, project, scene)
    assert run.code == 886 % 256
    assert run.err.strip().splitlines()[-1].startswith("scanflow: the analysis failed (exit 886)")


def scrub(text):
    # Timings: a very short one prints as 1e-05, without a point.
    return re.sub(r"[0-9]+(\.[0-9]+)?(e-?[0-9]+)?", "T", text)


def run_with_terminal_stderr(args, env):
    """Runs with standard error on a pseudo-terminal and standard output on a pipe."""
    master, slave = pty.openpty()
    proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=slave, env=env)
    os.close(slave)
    seen = b""
    while True:
        ready, _, _ = select.select([master], [], [], 60)
        if not ready:
            break
        try:
            chunk = os.read(master, 65536)
        except OSError:  # the child closed its end
            break
        if not chunk:
            break
        seen += chunk
    out = proc.stdout.read()
    proc.wait(60)
    os.close(master)
    return proc.returncode, out.decode(), seen.decode()


def test_progress_is_shown_on_a_terminal_and_never_on_a_pipe(run_cli, project):
    scene = project.scene(SCENE)
    args = scanflow_command() + ["-channel", "web", "-file", str(scene), "-path_json", str(project.out)] + WEB_OPTIONS
    code, out, err = run_with_terminal_stderr(args, base_env())
    assert code == 0, err
    assert "\r\x1b[Kparameters scanned: " in err
    assert "\r" not in out
    # Each phase ends with its final count on a line of its own, whatever the throttle dropped:
    # 14 parameters on the scene's nodes, the 12 textures among them read as files.
    assert "\r\x1b[Kparameters scanned: 14\r\n" in err
    assert "\r\x1b[Kfile parameters read: 12\r\n" in err
    assert "\r\x1b[Kfiles checked: " in err
    # The summary starts on a line of its own.
    assert "\nscanflow: analysed" in err or "\r\x1b[Kscanflow: analysed" in err
    piped = web(run_cli, project, scene)
    assert "\r" not in piped.err and "parameters scanned" not in piped.err


def test_environment_variables_that_cannot_be_read_are_named(run_cli, project):
    scene = project.scene(SCENE)
    for name, value in (("SCANFLOW_THREADS", "many"), ("SCANFLOW_THREADS", "-2"), ("G_WIN_MNT_MAP", "[1, 2]"),
                        ("G_WIN_MNT_MAP", "{bad"), ("SCANFLOW_PAUSE_SCALE", "slow")):
        run = web(run_cli, project, scene, env=base_env(**{name: value}))
        assert run.code == 0, run.out + run.err
        told = [line for line in run.err.splitlines() if name in line]
        assert told and told[0].startswith("scanflow: %s" % name), (name, value, run.err)


BROKEN = {
    "cache.ass": b"options\n{\n name opts\n texture_searchpath \"/x\n",
    "cache.bgeo": b"[\"fileversion\",\"19.5\",\"pointcount\",",
    "layer.usda": b"#usda 1.0\ndef \"A\" {\n  asset x = @unclosed\n",
}


def test_a_broken_nested_file_is_named_in_the_error(run_cli, project):
    for name, data in BROKEN.items():
        broken = project.root / name
        broken.write_bytes(data)
        scene = project.scene(dict(SCENE, nodes=SCENE["nodes"][:1] + [
            {"path": "/obj/geo1", "type": "geo"},
            {"path": "/obj/geo1/file1", "type": "file", "parms": {"file": str(broken)}}]))
        run = web(run_cli, project, scene)
        assert str(broken) in run.out, (name, run.out[-2000:])
        assert "ERROR CALLS" in run.out or "Traceback" in run.out, name


def test_a_task_file_that_is_not_utf8_is_named_with_its_place(run_cli, project):
    (project.out / "task.json").write_bytes(b'{"task_info": {"platform": "2", "channel": "1\xff"}}')
    run = web(run_cli, project, project.scene(SCENE))
    assert run.code == 886 % 256
    assert "cannot read JSON from %s/task.json" % project.out in run.out
    assert "line 1, column" in run.out
