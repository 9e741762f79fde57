"""The host-application package: its file, its layout, and the module found through it the way
the host finds it (the package's folder on the host path, its pythonX.Ylibs on sys.path)."""

import json
import os
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]


def expand(text, variables):
    for name, value in variables.items():
        text = text.replace("$" + name, value)
    return text


def test_the_package_puts_the_module_of_the_hosts_interpreter_on_its_path(tmp_path):
    out = tmp_path / "packages"
    run = subprocess.run([str(ROOT / "scripts" / "houdini_package.sh"), sys.prefix], capture_output=True,
                         text=True, env=dict(os.environ, SCANFLOW_PACKAGE_OUT=str(out)))
    assert run.returncode == 0, run.stdout + run.stderr
    package = json.loads((out / "scanflow.json").read_text())
    # As the host reads it: HOUDINI_PACKAGE_PATH is the folder of the package file.
    variables = {"HOUDINI_PACKAGE_PATH": str(out)}
    for entry in package["env"]:
        for name, value in entry.items():
            variables[name] = expand(value, variables)
    host_path = Path(expand(package["path"], variables))
    libs = host_path / ("python%d.%dlibs" % sys.version_info[:2])
    assert libs.is_dir(), sorted(p.name for p in host_path.iterdir())
    probe = subprocess.run([sys.executable, "-c", "import scanflow; print(scanflow.__file__, scanflow.__version__)"],
                           capture_output=True, text=True, env=dict(os.environ, PYTHONPATH=str(libs)))
    assert probe.returncode == 0, probe.stderr
    where, version = probe.stdout.split()[-2:]
    assert Path(where).parent == libs
    assert version == __import__("scanflow").__version__
