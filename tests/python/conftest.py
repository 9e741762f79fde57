import json
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent
HOU_DOUBLE = HERE / "hou_double"

# The stand-in host module must be importable before scanflow is imported, and the protocol's
# pauses are of no use in tests.
os.environ["SCANFLOW_PAUSE_SCALE"] = "0"
sys.path.insert(0, str(HOU_DOUBLE))

TASK_JSON = {
    "task_info": {"platform": "2", "channel": "1"},
    "software_config": {"cg_version": "19.5", "plugins": {"redshift": "3.5", "vray": "6"}},
    "other": {"kept": True},
}

# A time the console prints, as 0.25 or as 8e-05: masked where two runs' lines are compared.
TIMINGS = re.compile(r"[0-9]+(\.[0-9]+)?e-?[0-9]+|[0-9]+\.[0-9]+")

WEB_OPTIONS = ["-plugin_server_dir", "/plugins", "-user_id", "42", "-platform", "2"]


class Run:
    def __init__(self, proc):
        self.code = proc.returncode
        self.out = proc.stdout
        self.err = proc.stderr
        lines = proc.stdout.splitlines()
        # What the module prints when it loads is checked on its own.
        while lines and lines[0] in ("no arnold", "no Usd"):
            lines.pop(0)
        self.lines = lines

    def assert_in_order(self, *pieces):
        at = 0
        for piece in pieces:
            found = self.out.find(piece, at)
            assert found >= 0, "%r missing or out of order in:\n%s" % (piece, self.out)
            at = found + len(piece)


def base_env(**extra):
    env = dict(os.environ)
    env["SCANFLOW_PAUSE_SCALE"] = "0"
    env.setdefault("HH", "/opt/hfs")
    env["PYTHONPATH"] = os.pathsep.join([str(HOU_DOUBLE)] + [p for p in [env.get("PYTHONPATH")] if p])
    env.update(extra)
    return env


def scanflow_command():
    script = Path(sys.executable).parent / "scanflow"
    return [str(script)] if script.exists() else [sys.executable, "-c", "import scanflow; scanflow.main()"]


@pytest.fixture
def run_cli():
    def run(*args, env=None, cwd=None):
        proc = subprocess.run(scanflow_command() + [str(a) for a in args], capture_output=True,
                              text=True, env=env or base_env(), cwd=cwd, timeout=120)
        return Run(proc)
    return run


@pytest.fixture
def run_python():
    def run(code, *args, env=None):
        proc = subprocess.run([sys.executable, "-c", code] + [str(a) for a in args],
                              capture_output=True, text=True, env=env or base_env(), timeout=120)
        return Run(proc)
    return run


@pytest.fixture
def project(tmp_path):
    """A scene description for the stand-in host and a result directory holding task.json."""
    class Project:
        root = tmp_path
        out = tmp_path / "out"

        def scene(self, description, name="shot.hip", saved=True):
            """Writes a scene for the stand-in host, with the save-version line of a real one."""
            path = tmp_path / name
            header = ""
            if saved:
                header = "set -g _HIP_SAVEVERSION = '%s'\n" % description.get("version", "19.5.605")
            path.write_text(header + json.dumps(description), encoding="utf-8")
            return path

        def task(self, content=None):
            self.out.mkdir(exist_ok=True)
            (self.out / "task.json").write_text(json.dumps(content or TASK_JSON), encoding="utf-8")

        def read(self, name):
            return json.loads((self.out / name).read_text(encoding="utf-8"))

    p = Project()
    p.task()
    return p
