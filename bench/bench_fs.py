"""File-system work of one analysis: scanflow against plain per-file calls.

    .venv/bin/python bench/bench_fs.py [--scale 1.0] [--root DIR]

Generates (or reuses) a synthetic project, then times three jobs two ways and counts the
file-system metadata calls each makes:
  glob     every pattern of the project expanded (glob_file; plain: glob.glob per pattern)
  tx       counterparts of every texture (find_tx_counterparts_parallel, 10 workers;
           plain: os.path.exists per candidate and glob.glob per texture, one thread)
  gather   the upload record of every file (gather_upload; plain: os.path.isfile, os.walk,
           os.path.exists and normpath per file)
scanflow runs inside one listing cache, as an analysis does. Prints a table with the ratios.
"""

import argparse
import contextlib
import glob
import io
import json
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fs_project  # noqa: E402

os.environ.setdefault("SCANFLOW_PAUSE_SCALE", "0")
import scanflow  # noqa: E402


class Counter:
    """Counts the metadata calls that the plain versions make."""

    def __init__(self):
        self.calls = 0
        self._saved = []

    def __enter__(self):
        for module, name in ((os, "stat"), (os, "lstat"), (os, "scandir"), (os, "listdir")):
            original = getattr(module, name)

            def counted(*args, _original=original, **kwargs):
                self.calls += 1
                return _original(*args, **kwargs)
            self._saved.append((module, name, original))
            setattr(module, name, counted)
        return self

    def __exit__(self, *exc):
        for module, name, original in self._saved:
            setattr(module, name, original)


def plain_glob(patterns):
    out = []
    for p in patterns:
        out += glob.glob(p)
        root, ext = os.path.splitext(p)
        if ext == ".tex":
            out += glob.glob(root + "png")
    return out


TX_EXT = {".tga", ".dds", ".jpg", ".png", ".iff", ".exr", ".tiff", ".jpeg", ".hdr", ".bmp",
          ".rat", ".psd", ".psb", ".ies", ".gif", ".rla", ".rlb", ".pix", ".sgi", ".rgb",
          ".rgba", ".si", ".tif", ".tif23", ".qtl", ".tif16", ".tx", ".vst", ".yuv", ".ptex",
          ".tex", ".dpx"}


def plain_tx(textures):
    found = []
    for p in textures:
        stem, ext = os.path.splitext(p)
        if not p.endswith(".rat") and ext and os.path.exists(p.replace(ext, ext + ".rat")):
            found.append(p + ".rat")
        if ext in TX_EXT and not p.endswith(".tx"):
            tx = p.replace(ext, ".tx")
            if os.path.exists(tx):
                found.append(tx)
            else:
                found += glob.glob(stem + "_*" + ext + ".tx")
        found.append(p)
    return found


def plain_gather(items):
    candidates = []
    for item in items:
        if os.path.isfile(item):
            candidates.append(item)
        else:
            for d, _, files in os.walk(item):
                candidates += [os.path.join(d, f) for f in files]
    seen, assets = set(), []
    for c in candidates:
        if not os.path.exists(c):
            continue
        local = os.path.normpath(c)
        if local in seen:
            continue
        seen.add(local)
        assets.append({"local": local, "server": local})
    return assets


def timed(fn):
    start = time.perf_counter()
    result = fn()
    return time.perf_counter() - start, result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--scale", type=float, default=1.0)
    parser.add_argument("--root")
    args = parser.parse_args()
    root = args.root or os.path.join(tempfile.gettempdir(), "scanflow-bench-%g" % args.scale)
    manifest_path = os.path.join(root, "manifest.json")
    if not os.path.exists(manifest_path):
        os.makedirs(root, exist_ok=True)
        start = time.perf_counter()
        files, dirs, _ = fs_project.generate(root, args.scale)
        print("generated %d files in %d directories in %.1f s" % (files, dirs, time.perf_counter() - start))
    with open(manifest_path) as f:
        manifest = json.load(f)
    patterns, textures, items = manifest["patterns"], manifest["textures"], manifest["files"]
    out_dir = tempfile.mkdtemp()
    with open(os.path.join(out_dir, "task.json"), "w") as f:
        json.dump({"task_info": {"platform": "2", "channel": "1"}, "software_config": {"plugins": {}}}, f)
    with contextlib.redirect_stdout(io.StringIO()):
        related = scanflow.Related({"hip_file": manifest_path, "path_json": out_dir})

    rows = []
    jobs = [
        ("glob", lambda: plain_glob(patterns),
         lambda: [x for p in patterns for x in scanflow.glob_file(p)]),
        ("tx", lambda: plain_tx(textures),
         lambda: scanflow.find_tx_counterparts_parallel(textures, "", [], 10)[0]),
        ("gather", lambda: plain_gather(items),
         lambda: related.gather_upload(items, manifest_path)["asset"]),
    ]
    for name, plain, ours in jobs:
        with Counter() as counter:
            plain_time, plain_result = timed(plain)
        with scanflow.listing_cache() as cache:
            with contextlib.redirect_stdout(io.StringIO()):
                our_time, our_result = timed(ours)
            reads = cache.reads
        assert len(plain_result) == len(our_result), (name, len(plain_result), len(our_result))
        rows.append((name, len(our_result), plain_time, our_time, counter.calls, reads))

    print("%-7s %9s %10s %10s %7s %12s %10s %8s" % ("job", "results", "plain s", "scanflow s",
                                                   "speed", "plain calls", "dir reads", "calls"))
    for name, n, pt, ot, calls, reads in rows:
        print("%-7s %9d %10.3f %10.3f %6.1fx %12d %10d %7.0fx" % (
            name, n, pt, ot, pt / ot, calls, reads, calls / max(reads, 1)))


if __name__ == "__main__":
    main()
