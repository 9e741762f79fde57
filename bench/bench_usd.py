"""Our USD dependency walk against the USD library's own (UsdUtils.ComputeAllDependencies).

    .venv/bin/python bench/bench_usd.py [--chain-depth N] [--no-small]

For each small stage (a shot using every composition arc, built here with pxr, and the USD layers
of the test data) it lists what each walk finds, the files only one of them finds, and the time
each takes. Then, as whole processes with start-up included, it times our USD-file flow (the
command line given the USD file) and the library's walk on a generated show of 724 layers and on
a chain of 2,000 layers each the only sublayer of the one before, and sorts what only one of the
two reports on the show by kind; the two processes run in turns, and the ratio in turns is the
median of the turns' ratios. Last, the floor of any walk that composes a stage per nested
layer: every layer of the show composed and traversed, in a process that imports pxr.
"""

import argparse
import collections
import contextlib
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "python"))
os.environ.setdefault("SCANFLOW_PAUSE_SCALE", "0")

import scanflow  # noqa: E402
from pxr import UsdUtils  # noqa: E402
from usd_scenes import build_stages  # noqa: E402
from usd_show import build_chain, build_show  # noqa: E402


def ours(path, out_dir):
    with contextlib.redirect_stdout(io.StringIO()):
        walker = scanflow.AnalysUsd({"hip_file": path, "path_json": out_dir})
        start = time.perf_counter()
        found = walker.ass_usd_usda_asset(path)
    return time.perf_counter() - start, set(found)


def theirs(path):
    start = time.perf_counter()
    layers, assets, unresolved = UsdUtils.ComputeAllDependencies(path)
    elapsed = time.perf_counter() - start
    found = {l.realPath for l in layers if l.realPath != path} | set(assets) | set(unresolved)
    return elapsed, {f.replace("\\", "/") for f in found}


def small_stages(work):
    out_dir = work / "out"
    out_dir.mkdir()
    (out_dir / "task.json").write_text(json.dumps({"task_info": {"platform": "2", "channel": "1"},
                                                    "software_config": {"plugins": {}}}))
    shot_dir = work / "shot"
    shot_dir.mkdir()
    search = build_stages(shot_dir)
    stages = [shot_dir / "shot.usda"] + sorted((HERE.parent / "tests" / "data" / "usd").glob("*.usd*"))
    print("| stage | ours: files | ours: ms | library: files | library: ms | only ours | only library |")
    print("|---|---|---|---|---|---|---|")
    details = []
    for stage in stages:
        # The shot has a layer that only the search path supplies.
        if stage.name == "shot.usda":
            os.environ["PXR_AR_DEFAULT_SEARCH_PATH"] = str(search)
        else:
            os.environ.pop("PXR_AR_DEFAULT_SEARCH_PATH", None)
        t_ours, f_ours = ours(str(stage), str(out_dir))
        t_lib, f_lib = theirs(str(stage))
        only_ours, only_lib = sorted(f_ours - f_lib), sorted(f_lib - f_ours)
        print("| %s | %d | %.1f | %d | %.1f | %d | %d |" % (stage.name, len(f_ours), t_ours * 1000, len(f_lib),
                                                         t_lib * 1000, len(only_ours), len(only_lib)))
        details.append((stage.name, only_ours, only_lib))
    for name, only_ours, only_lib in details:
        base = str(shot_dir)
        for label, files in (("only ours", only_ours), ("only library", only_lib)):
            for f in files:
                print("%s  %s: %s" % (name, label, f.replace(base, "<shot>")))


LIBRARY = """
import sys
from pxr import UsdUtils
layers, assets, unresolved = UsdUtils.ComputeAllDependencies(sys.argv[1])
for path in [l.realPath for l in layers] + list(assets) + list(unresolved):
    print(path)
"""


def run_ours(stage, work):
    out = work / "result"
    shutil.rmtree(out, ignore_errors=True)
    out.mkdir()
    (out / "task.json").write_text(json.dumps({"task_info": {"platform": "2", "channel": "1"},
                                               "software_config": {"plugins": {}}}))
    command = [str(Path(sys.executable).parent / "scanflow"), "-channel", "web", "-file", str(stage),
               "-path_json", str(out), "-plugin_server_dir", "/p", "-user_id", "1", "-platform", "2"]
    env = dict(os.environ, SCANFLOW_PAUSE_SCALE="0", HH=os.environ.get("HH", "/opt/hfs"))
    start = time.perf_counter()
    proc = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit("our analysis of %s failed with %d" % (stage, proc.returncode))
    asset = json.loads((out / "asset.json").read_text())
    found = set(asset["Nested_Assets"][str(stage)]) | set(asset["missing_file"])
    return elapsed, found


COMPOSE_EVERY_LAYER = """
import glob, os, sys, time
from pxr import Usd
layers = sorted(glob.glob(os.path.join(sys.argv[1], "**", "*.usd*"), recursive=True))
start = time.perf_counter()
for path in layers:
    stage = Usd.Stage.Open(path, Usd.Stage.LoadNone)
    for prim in stage.TraverseAll():
        pass
print(len(layers), time.perf_counter() - start)
"""


def process(argv):
    """(wall seconds, standard output) of a process."""
    start = time.perf_counter()
    out = subprocess.run(argv, capture_output=True, text=True).stdout
    return time.perf_counter() - start, out


def composition_floor(show, runs):
    """What composing every layer of the show as its own stage costs, and the start-up of a
    process that imports pxr: the least a walk that composes a stage per nested layer can cost."""
    whole, out = best(runs, lambda: process([sys.executable, "-c", COMPOSE_EVERY_LAYER, str(show.parent)]))
    layers, composing = int(out.split()[0]), float(out.split()[1])
    startup, _ = best(runs, lambda: process([sys.executable, "-c", "from pxr import Usd"]))
    print("show  composing each of its %d layers as a stage and traversing it: %.3f s (%.2f ms a layer); "
          "a process that imports pxr: %.3f s; both in one process: %.3f s" % (
              layers, composing, 1000 * composing / layers, startup, whole))


def run_library(stage):
    elapsed, out = process([sys.executable, "-c", LIBRARY, str(stage)])
    return elapsed, set(out.split()) - {str(stage)}


def best(runs, fn):
    results = [fn() for _ in range(runs)]
    return min(r[0] for r in results), results[0][1]


def in_turns(runs, first, second):
    """The best time of each of two processes run in turns, what each gives, and the median of
    the ratios of the two in each turn: the machine's speed drifts over minutes, and the two
    runs of one turn share its speed."""
    turns = [(first(), second()) for _ in range(runs)]
    ratios = sorted(a[0] / b[0] for a, b in turns)
    return (min(a[0] for a, _ in turns), turns[0][0][1]), (min(b[0] for _, b in turns), turns[0][1][1]), \
        ratios[len(ratios) // 2]


def kind(path):
    # What a file is and whether it exists: enough to sort the differences by cause.
    name = path.rsplit("/", 1)[-1]
    if re.search(r"\.1[0-9]{3}\.", name):
        what = "UDIM tile"
    elif name.endswith((".usd", ".usda", ".usdc")):
        what = "layer"
    else:
        what = "texture"
    return what + ("" if os.path.exists(path) else " (missing)")


def large_stages(work, depth, runs):
    show, missing = build_show(work / "show")
    chain = build_chain(work / "chain", depth)
    print()
    print("| stage | ours: s | library: s | ratio | ratio in turns | ours: files | library: files |")
    print("|---|---|---|---|---|---|---|")
    differences = None
    for label, stage, repeat in (("show (724 layers, %d textures missing)" % missing, show, runs),
                                 ("chain of %d layers" % depth, chain, 1)):
        (t_ours, f_ours), (t_lib, f_lib), turns = in_turns(
            repeat, lambda stage=stage: run_ours(stage, work), lambda stage=stage: run_library(stage))
        print("| %s | %.2f | %.2f | %.2f | %.2f | %d | %d |" % (
            label, t_ours, t_lib, t_ours / t_lib, turns, len(f_ours), len(f_lib)))
        if differences is None:
            differences = (f_ours - f_lib, f_lib - f_ours)
    for label, files in zip(("only ours", "only library"), differences):
        counts = collections.Counter(kind(f) for f in files)
        for what, count in sorted(counts.items()):
            example = min(f for f in files if kind(f) == what).replace(str(work), "<work>")
            print("show  %s: %d × %s, e.g. %s" % (label, count, what, example))
    composition_floor(show, runs)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--chain-depth", type=int, default=2000)
    parser.add_argument("--runs", type=int, default=3, help="runs on the show, the best is shown")
    parser.add_argument("--no-small", action="store_true", help="only the generated show and chain")
    args = parser.parse_args()
    work = Path(tempfile.mkdtemp())
    if not args.no_small:
        small_stages(work)
    large_stages(work, args.chain_depth, args.runs)


if __name__ == "__main__":
    main()
