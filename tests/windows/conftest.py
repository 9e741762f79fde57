"""The native command line built for Windows, run under Wine on projects written the Windows way,
and the same command line built for Linux on the same projects. scripts/test_windows.sh names
both programs (SCANFLOW_WINDOWS_EXE, SCANFLOW_NATIVE_EXE)."""

import json
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "python"))

import hipwrite  # noqa: E402  (the scene writer the module's tests use)

TASK_JSON = {"task_info": {"platform": "2", "channel": "1"}, "software_config": {"plugins": {}}}
WEB_OPTIONS = ["-plugin_server_dir", "/plugins", "-user_id", "42", "-platform", "2"]
RESULTS = ("upload.json", "asset.json", "tips.json", "task.json", "asset.txt")


def program(variable):
    path = os.environ.get(variable)
    if not path or not Path(path).exists():
        pytest.skip("%s names no program (scripts/test_windows.sh builds and names it)" % variable)
    return path


def windows_path(path):
    """A Linux path as a Windows program under Wine names it: the root is drive Z:."""
    return "Z:" + str(path).replace("/", "\\")


class Run:
    def __init__(self, proc, out):
        self.code = proc.returncode
        self.out = proc.stdout.replace("\r\n", "\n")
        self.err = proc.stderr.replace("\r\n", "\n")
        self.results = out

    def read(self, name):
        return json.loads((self.results / name).read_text(encoding="utf-8"))


@pytest.fixture
def wine_drive_c():
    """Drive C: of Wine's prefix, where a test puts what a scene names as C:\\..."""
    prefix = Path(os.environ.get("WINEPREFIX", Path.home() / ".wine"))
    return prefix / "drive_c"


@pytest.fixture
def analyse(tmp_path):
    """Runs one of the two programs on a scene: "windows" under Wine, "linux" natively."""
    windows_exe = program("SCANFLOW_WINDOWS_EXE")
    native_exe = program("SCANFLOW_NATIVE_EXE")

    def run(system, scene, results, hh="hfs", task=None):
        if results.exists():
            shutil.rmtree(results)
        results.mkdir(parents=True)
        (results / "task.json").write_text(json.dumps(TASK_JSON) if task is None else task,
                                           encoding="utf-8")
        env = dict(os.environ, SCANFLOW_PAUSE_SCALE="0", WINEDEBUG="-all")
        if system == "windows":
            env["HH"] = "C:\\" + hh
            args = ["wine", windows_exe, "-channel", "web", "-file", windows_path(scene),
                    "-path_json", windows_path(results)]
        else:
            env["HH"] = "/" + hh
            args = [native_exe, "-channel", "web", "-file", str(scene), "-path_json", str(results)]
        proc = subprocess.run(args + WEB_OPTIONS, capture_output=True, text=True, encoding="utf-8",
                              errors="replace", env=env, timeout=300)
        return Run(proc, results)

    return run


@pytest.fixture
def write_scene():
    def write(path, nodes):
        hipwrite.write_cpio(path, {"version": "20.0.547", "nodes": nodes})
        return path
    return write
