"""Readers of big nested files, against the floor of reading the same bytes with grep/wc.

    .venv/bin/python bench/bench_readers.py [--scale 1.0] [--dir DIR]

Generates (scale 1) an Arnold scene of 1 GB, a Redshift proxy of 2 GB and a binary geometry cache
of 500 MB, then times each reader in its own process and reports MB/s and the peak memory of that
process beside `wc -l` over the same file.
"""

import argparse
import os
import struct
import subprocess
import sys
import tempfile
import time

MB = 1 << 20


def make_ass(path, size):
    block = ("polymesh\n{\n name mesh%d\n vlist 64 1 b85VECTOR\n" + "!" * 2000 + "\n}\n"
             "image\n{\n name img%d\n filename \"/tex/t%d.tx\"\n}\n")
    with open(path, "w") as f:
        i = 0
        while f.tell() < size:
            f.write(block % (i, i, i % 1000))
            i += 1


def make_rs(path, size):
    chunk = os.urandom(MB // 2).replace(b"\\", b"x").replace(b"/", b"y").replace(b".", b"z")
    with open(path, "wb") as f:
        i = 0
        while f.tell() < size:
            f.write(chunk)
            f.write(b"\x00C:\\tex\\wall%d.exr\x00" % (i % 1000))
            i += 1


def make_bgeo(path, size):
    with open(path, "wb") as f:
        f.write(b"\x7fNSJb[")
        values = struct.pack("<%df" % (MB // 4), *([1.5] * (MB // 4)))
        while f.tell() < size:
            f.write(b"\x27\x06values\x40\x19\xf4" + struct.pack("<I", MB // 4) + values)
        name = b"[a.bgeo,b.bgeo]"
        f.write(b"{\x27\x09filenames\x27" + bytes([len(name)]) + name + b"}]")


READER = r"""
import os, resource, sys, time, json, tempfile, contextlib, io
os.environ["SCANFLOW_PAUSE_SCALE"] = "0"
import scanflow
kind, path = sys.argv[1], sys.argv[2]
out = tempfile.mkdtemp()
json.dump({"task_info": {"platform": "2", "channel": "1"}, "software_config": {"plugins": {}}}, open(out + "/task.json", "w"))
with contextlib.redirect_stdout(io.StringIO()):
    h = scanflow.AnalysisHipAssets({"hip_file": path, "path_json": out})
    start = time.perf_counter()
    if kind == "ass":
        found = h.get_ass_path(path)
    elif kind == "rs":
        found = h.get_rs_file_with_open(path)
    else:
        found = h.get_bgeo_asset(path)
    elapsed = time.perf_counter() - start
print(json.dumps({"seconds": elapsed, "found": len(found), "peak_mb": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024}))
"""


def floor(cmd):
    start = time.perf_counter()
    subprocess.run(cmd, stdout=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--scale", type=float, default=1.0)
    parser.add_argument("--dir")
    args = parser.parse_args()
    work = args.dir or tempfile.mkdtemp()
    os.makedirs(work, exist_ok=True)
    files = [("ass", "big.ass", make_ass, 1024, ["wc", "-l"]),
             ("rs", "big.rs", make_rs, 2048, ["wc", "-l"]),
             ("bgeo", "big.bgeo", make_bgeo, 500, ["wc", "-l"])]
    print("| reader | file MB | seconds | MB/s | peak MB | floor | floor MB/s |")
    print("|---|---|---|---|---|---|---|")
    for kind, name, make, size_mb, floor_cmd in files:
        path = os.path.join(work, name)
        size = int(size_mb * args.scale * MB)
        if not os.path.exists(path) or os.path.getsize(path) < size:
            make(path, size)
        real = os.path.getsize(path) / MB
        proc = subprocess.run([sys.executable, "-c", READER, kind, path], capture_output=True, text=True)
        if proc.returncode != 0:
            print(proc.stderr[-2000:])
            continue
        import json
        result = json.loads(proc.stdout.strip().splitlines()[-1])
        f = floor(floor_cmd + [path])
        print("| %s | %.0f | %.2f | %.0f | %.0f | %s | %.0f |" % (kind, real, result["seconds"], real / result["seconds"],
                                                              result["peak_mb"], " ".join(floor_cmd[:2]), real / f))


if __name__ == "__main__":
    main()
