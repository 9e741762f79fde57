"""A customer's scene is untrusted input: what it, or the folder it lies in, can make the
analysis do."""

import json
import subprocess
import sys

import hipwrite
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
