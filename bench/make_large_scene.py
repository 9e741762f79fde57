"""Writes a synthetic scene of about 3 MB (thousands of nodes with file, expression and tuple
parameters) for the scene-layer benchmark.   python bench/make_large_scene.py OUT.hip [NODES]"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "python"))
import hipwrite  # noqa: E402


def main():
    out = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 4000
    nodes = [{"path": "/obj", "type": "obj"}]
    for g in range(count // 20):
        nodes.append({"path": "/obj/geo%d" % g, "type": "geo", "parms": {"tx": 0.0, "ty": 1.5}})
        for n in range(19):
            parms = {"file": "$HIP/cache/geo%d/part%d.$F4.bgeo.sc" % (g, n),
                     "label": "`opname(\"..\")`_%d" % n,
                     "texture": "$JOB/tex/asset%d/diffuse.<UDIM>.exr" % g,
                     "count": n, "scale": 1.25, "mode": True, "note": "a text with spaces %d" % n}
            for k in range(12):
                parms["p%d" % k] = k * 0.5
            nodes.append({"path": "/obj/geo%d/node%d" % (g, n), "type": "file", "parms": parms,
                          "inputs": ["/obj/geo%d/node%d" % (g, n - 1)] if n else []})
    hipwrite.write_cpio(out, {"version": "20.0.547", "variables": {"JOB": "/jobs/bench"}, "nodes": nodes})


if __name__ == "__main__":
    main()
