"""A scene of nested subnetworks, each inside the one before, analysed by the command line on our
own scene layer: the wall time and the time of each phase, at several depths, to show how the
cost grows with the depth (a path at depth 3,000 is about 18 KB long).

    .venv/bin/python bench/bench_depth.py [DEPTH ...]        (default 1000 3000)
"""

import json
import os
import re
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "python"))
import hipwrite  # noqa: E402


def deep_scene(path, depth):
    nodes = [{"path": "/obj", "type": "obj"}]
    node = "/obj"
    for i in range(depth):
        node += "/s%d" % i
        nodes.append({"path": node, "type": "subnet", "parms": {"file": "$HIP/tex/t%d.exr" % (i % 7)}})
    hipwrite.write_cpio(str(path), {"version": "19.5.605", "nodes": nodes})


def main():
    depths = [int(d) for d in sys.argv[1:]] or [1000, 3000]
    work = Path(tempfile.mkdtemp())
    script = Path(sys.executable).parent / "scanflow"
    print("| depth | scene MB | wall s | load s | scan s | assembly s |")
    print("|---:|---:|---:|---:|---:|---:|")
    for depth in depths:
        scene = work / ("deep%d.hip" % depth)
        deep_scene(scene, depth)
        out = work / ("out%d" % depth)
        out.mkdir()
        (out / "task.json").write_text(json.dumps({"task_info": {"platform": "2", "channel": "1"},
                                                   "software_config": {"plugins": {}}}))
        env = dict(os.environ, SCANFLOW_HOST="hip", SCANFLOW_PAUSE_SCALE="0", HH=os.environ.get("HH", "/opt/hfs"))
        start = time.perf_counter()
        run = subprocess.run([str(script), "-channel", "web", "-file", str(scene), "-path_json", str(out),
                              "-plugin_server_dir", "/p", "-user_id", "1", "-platform", "2", "-quiet"],
                             capture_output=True, text=True, env=env)
        wall = time.perf_counter() - start
        if run.returncode != 0:
            sys.exit("depth %d: exit %d" % (depth, run.returncode))
        phase = dict(re.findall(r"(\w+) is END \(time:([0-9.e-]+) s\)", run.stdout))
        print("| %d | %.1f | %.2f | %.3f | %.3f | %.3f |" % (
            depth, scene.stat().st_size / 1e6, wall, float(phase["openScene"]),
            float(phase["analysis_assetsChecking"]), float(phase["write_json"])))


if __name__ == "__main__":
    main()
