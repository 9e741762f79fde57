"""Our USD dependency walk against the USD library's own (UsdUtils.ComputeAllDependencies).

    .venv/bin/python bench/bench_usd.py

For each stage (a shot using every composition arc, built here with pxr, and the USD layers of
the test data) it lists what each walk finds, the files only one of them finds, and the time each
takes.
"""

import contextlib
import io
import json
import os
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "python"))
os.environ.setdefault("SCANFLOW_PAUSE_SCALE", "0")

from pxr import UsdUtils  # noqa: E402

import scanflow  # noqa: E402
from usd_scenes import build_stages  # noqa: E402


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


def main():
    work = Path(tempfile.mkdtemp())
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


if __name__ == "__main__":
    main()
