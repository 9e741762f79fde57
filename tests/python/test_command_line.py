"""The command line end to end: run modes, echo lines, exit codes, the scene flow."""

from conftest import WEB_OPTIONS, base_env

SCENE = {
    "version": "20.0.547",
    "nodes": [
        {"path": "/obj", "type": "obj"},
        {"path": "/obj/geo1", "type": "geo"},
    ],
}


def test_web_run_loads_the_scene_and_runs_the_flow_in_order(run_cli, project):
    scene = project.scene(SCENE)
    run = run_cli("-channel", "web", "-file", scene, "-path_json", project.out, *WEB_OPTIONS)
    assert run.code == 0, run.out + run.err
    stars = "*" * 30
    run.assert_in_order(
        "------------------channel: web ------------------",
        "hip_file: %s" % scene,
        "platform: 2",
        stars + str(scene) + stars,  # the top-level driver's construction
        stars + str(scene) + stars,  # and the scene driver's
        "#" * 30 + "openScene is START",
        "<cmd><code>200</code><des>start open houdini file</des></cmd>\n",
        "set Simulation off\nset updateMode Manual\n",
        "Loading hip file success\nopen scence time :",
        "<cmd><code>200</code><des>open houdini file ok</des></cmd>\n",
        "*" * 30 + "openScene is END (time:",
        "analysis_assetsChecking is START",
        "analysis_assetsChecking is END",
        "write_json is START",
        "Analysis scene_info start...\nSearching Geometrry Rops...\n",
        "[]\n" + "-" * 42 + "\n",
        "write task.json ...\n",
        "write_json is END",
        "[analysis_assets done...]",
    )
    task = project.read("task.json")
    assert task["other"] == {"kept": True}
    assert task["software_config"]["houdini_ver"] == "20.0.547"
    assert task["software_config"]["plugins"] == {"redshift": "3.5", "vray": "6"}
    assert task["scene_info"] == {"geo_node": [], "rop_node": [], "distributedsim_node": []}
    assert "scene_info_render" not in task
    assert task["dependency_task"] == {}


def test_channel_4_from_the_task_file_also_writes_scene_info_render(run_python, project):
    task = {"task_info": {"platform": "2", "channel": "4"},
            "software_config": {"plugins": {}}}
    project.task(task)
    scene = project.scene(SCENE)
    code = ("import hou, scanflow, sys; hou.hipFile.load(sys.argv[1]);"
            "scanflow.AnalysisHipAssets({'hip_file': sys.argv[1], 'path_json': sys.argv[2]})"
            ".analy_info()")
    run = run_python(code, scene, project.out)
    assert run.code == 0, run.out + run.err
    task = project.read("task.json")
    assert task["scene_info_render"] == task["scene_info"]


def test_failure_inside_a_level_2_operation_ends_with_886(run_cli, project):
    scene = project.scene(dict(SCENE, **{"raise": {"applicationVersionString": "licence lost"}}))
    run = run_cli("-channel", "web", "-file", scene, "-path_json", project.out, *WEB_OPTIONS)
    assert run.code == 886 % 256  # a POSIX parent sees the low 8 bits
    run.assert_in_order(
        "write_json is START",
        "Traceback (most recent call last):\n  in doit\n  in write_json\n  in analy_info\n"
        "hou.OperationFailed: licence lost\n##--##<< \n",
        "================================== ERROR CALLS ==================================\n"
        "traceback.format_exc():\nTraceback (most recent call last):\n",
        "SystemExit: 886\n\nAnalysis failure\n",
    )
    # The exit request passed the level-1 wrapper without an ERROR or END line.
    assert "write_json is ERROR" not in run.out and "write_json is END" not in run.out
    assert "[analysis_assets done...]" not in run.out


def test_exit_request_from_inside_keeps_its_code_in_the_trace(run_cli, project):
    scene = project.scene(dict(SCENE, **{"raise": {"applicationVersionString": {"exit": 556}}}))
    run = run_cli("-channel", "web", "-file", scene, "-path_json", project.out, *WEB_OPTIONS)
    assert run.code == 886 % 256
    run.assert_in_order("ERROR CALLS", "  in analy_info\nSystemExit: 556\n", "Analysis failure")
    assert "##--##<< " not in run.out  # no wrapper saw an ordinary error


def test_load_failure_is_ignored_and_the_analysis_goes_on(run_cli, project):
    scene = project.scene(dict(SCENE, load_error="Unable to open: corrupt"))
    run = run_cli("-channel", "web", "-file", scene, "-path_json", project.out, *WEB_OPTIONS)
    assert run.code == 0
    run.assert_in_order("Unable to open: corrupt\nopenScene is ERROR!!!\n",
                        "hou.OperationFailed: Unable to open: corrupt\n##--##<< \n",
                        "Load hip ignore Errors.\n", "write task.json ...",
                        "[analysis_assets done...]")


def test_load_warning_is_printed_and_the_scene_stays(run_cli, project):
    scene = project.scene(dict(SCENE, load_warning="Skipping unknown node type foo"))
    run = run_cli("-channel", "web", "-file", scene, "-path_json", project.out, *WEB_OPTIONS)
    assert run.code == 0
    run.assert_in_order("Skipping unknown node type foo\nopen scence time :",
                        "open houdini file ok")
    assert "Loading hip file success" not in run.out
    assert project.read("task.json")["software_config"]["houdini_ver"] == "20.0.547"


def test_files_that_are_not_scenes_end_quietly(run_cli, project):
    upper = project.scene(SCENE, name="SHOT.HIP")
    for target in (upper, project.root / "absent.hip", project.root / "notes.txt"):
        run = run_cli("-channel", "web", "-file", target, "-path_json", project.out, *WEB_OPTIONS)
        assert run.code == 0
        assert "open houdini file" not in run.out


def test_missing_task_file_is_an_analysis_failure(run_cli, project):
    (project.out / "task.json").unlink()
    run = run_cli("-channel", "web", "-file", project.scene(SCENE), "-path_json", project.out,
                  *WEB_OPTIONS)
    assert run.code == 886 % 256
    run.assert_in_order("ERROR CALLS", "FileError: cannot open %s/task.json" % project.out,
                        "Analysis failure")


def test_test_mode_analyses_the_scene_the_host_holds(run_python, project):
    scene = project.scene(SCENE)
    code = ("import hou, sys; hou.hipFile.load(sys.argv[1]); import scanflow;"
            "sys.argv = ['host', '-channel', 'test', '-path_json', sys.argv[2]]; scanflow.main()")
    run = run_python(code, scene, project.out)
    assert run.code == 0, run.out + run.err
    stars = "*" * 30
    run.assert_in_order("------------------channel: test ------------------",
                        stars + str(scene) + stars, "write task.json ...",
                        "[analysis_assets done...]")
    assert "open houdini file" not in run.out
    assert project.read("task.json")["software_config"]["houdini_ver"] == "20.0.547"


def test_a_forced_host_that_is_missing_is_named(run_cli, project):
    scene = project.scene(SCENE)
    env = base_env(SCANFLOW_HOST="hou")
    env["PYTHONPATH"] = ""
    run = run_cli("-channel", "web", "-file", scene, "-path_json", project.out, *WEB_OPTIONS, env=env)
    assert run.code == 886 % 256
    run.assert_in_order("Load hip ignore Errors.",
                        "no scene host: SCANFLOW_HOST=hou, and the module 'hou' did not import",
                        "Analysis failure")


def test_help_and_version_answer_alone_and_start_no_analysis(run_cli, project):
    import re
    from pathlib import Path
    scene = project.scene(SCENE)
    for flags in (["-h"], ["--help"], ["-channel", "web", "-file", scene, "-path_json", project.out, "--help"]):
        run = run_cli(*flags)
        assert run.code == 0
        assert run.lines[0].startswith("usage: scanflow -channel web -file SCENE")
        for piece in ("-plugin_server_dir", "HH ", "SCANFLOW_THREADS", "exit codes: 0"):
            assert piece in run.out
        assert "hip_file:" not in run.out
    pyproject = (Path(__file__).resolve().parents[2] / "pyproject.toml").read_text()
    version = re.search(r'^version = "([^"]+)"', pyproject, re.M).group(1)
    for flags in (["--version"], ["-channel", "web", "-file", scene, "--version"]):
        run = run_cli(*flags)
        assert run.code == 0
        assert re.fullmatch(r"scanflow %s \(Python 3\.\d+\.\d+\)" % re.escape(version), run.lines[0])
        assert len(run.lines) == 1
    assert sorted(p.name for p in project.out.iterdir()) == ["task.json"]  # nothing analysed

    import scanflow
    assert scanflow.__version__ == version


def test_a_failed_run_leaves_no_success_marker_of_an_earlier_one(run_cli, project):
    good = project.scene(SCENE)
    run = run_cli("-channel", "web", "-file", good, "-path_json", project.out, *WEB_OPTIONS)
    assert run.code == 0 and (project.out / "analyze_sucess").exists()
    bad = project.scene(dict(SCENE, **{"raise": {"applicationVersionString": "licence lost"}}), name="bad.hip")
    run = run_cli("-channel", "web", "-file", bad, "-path_json", project.out, *WEB_OPTIONS)
    assert run.code == 886 % 256
    assert not (project.out / "analyze_sucess").exists()
