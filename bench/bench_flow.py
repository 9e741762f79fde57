"""The whole analysis against the floor of the file system it has to touch.

    .venv/bin/python bench/bench_flow.py [--scale 1.0] [--dir DIR] [--no-growth] [--no-show] [--runs 7]

Generates a studio project (bench/flow_project.py; about 108,000 files at scale 1, kept in DIR
for later runs), measures the floor in the same run (list every directory once, stat every file
once, read every nested file once, warm), then runs the command line on our own scene layer and
on the `hou` test double, each on the scene without and with USD nodes, and prints the wall time,
its ratio to the floor, the peak memory, the stat, open and directory-read calls (counted with
`strace -f -C`, installed when missing) and the listings: the project's directories opened for
reading, and how many distinct directories those were. Then the same project with its weight in
nested files (a USD show of several hundred layers added, named by one more USD node), against
its own floor, which reads every layer of the show as well. Last, the plain scene at 10 times
fewer and 3 times more files, to show how the cost grows: per file, and per file above the
start-up that a scene without file parameters costs.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
import flow_project  # noqa: E402

STAT = ("stat", "lstat", "fstat", "newfstatat", "statx", "fstatat64", "stat64", "lstat64")
OPEN = ("open", "openat", "openat2")
LIST = ("getdents", "getdents64")


def project(root, scale, show=False):
    manifest_path = os.path.join(root, "manifest.json")
    if os.path.exists(manifest_path):
        with open(manifest_path) as f:
            manifest = json.load(f)
        if (manifest.get("scale") == scale and manifest.get("show", False) == show
                and "empty" in manifest.get("scenes", {})):
            return manifest
    shutil.rmtree(root, ignore_errors=True)
    start = time.perf_counter()
    manifest = flow_project.generate(root, scale, show)
    print("generated %d files in %d directories in %.1f s" % (
        manifest["files"], manifest["directories"], time.perf_counter() - start))
    return manifest


def opened_files(scene, host):
    """The nested files an analysis of the scene opens, from the lines it prints as it opens one."""
    out = fresh_result_dir()
    argv, env = command(scene, out, host)
    text = subprocess.run(argv, env=env, capture_output=True, text=True).stdout
    shutil.rmtree(out)
    opened = set()
    for prefix in ("asset path : ", "bgeo: ", "rs: ", "vrscene "):
        opened.update(line[len(prefix):] for line in text.splitlines() if line.startswith(prefix))
    return sorted(p for p in opened if os.path.isfile(p))


def floor(root, nested):
    """List every directory once, stat every file once, read the nested files once."""
    start = time.perf_counter()
    todo = [root]
    while todo:
        d = todo.pop()
        with os.scandir(d) as it:
            for entry in it:
                if entry.is_dir(follow_symlinks=False):
                    todo.append(entry.path)
                else:
                    os.stat(entry.path)
    for path in nested:
        with open(path, "rb") as f:
            while f.read(1 << 20):
                pass
    return time.perf_counter() - start


def command(scene, out, host):
    env = dict(os.environ, SCANFLOW_PAUSE_SCALE="0", HH="/opt/hfs", SCANFLOW_HOST=host)
    if host == "hou":
        env["PYTHONPATH"] = os.path.join(ROOT, "tests", "python", "hou_double")
    script = os.path.join(os.path.dirname(sys.executable), "scanflow")
    argv = [script, "-channel", "web", "-file", scene, "-path_json", out, "-plugin_server_dir", "/p",
            "-user_id", "bench", "-platform", "2"]
    return argv, env


def fresh_result_dir():
    out = tempfile.mkdtemp(prefix="scanflow-flow-")
    with open(os.path.join(out, "task.json"), "w") as f:
        json.dump({"task_info": {"platform": "2", "channel": "1"},
                   "software_config": {"plugins": {"vray": "6"}, "cg_name": "Houdini",
                                       "cg_version": "19.5"}}, f)
    return out


def run_once(scene, host):
    """(wall seconds, peak resident MB) of one run of the command line."""
    out = fresh_result_dir()
    argv, env = command(scene, out, host)
    start = time.perf_counter()
    proc = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    if not os.path.exists(os.path.join(out, "analyze_sucess")):
        raise SystemExit("the run on %s (%s) ended with %s and no success marker" % (scene, host, status))
    shutil.rmtree(out)
    return wall, usage.ru_maxrss / 1024


def syscalls(scene, host, root):
    """Stat-family, open and directory-read calls of one run, as strace counts them, and the
    directories of the project opened for listing (each opening is one listing)."""
    out = fresh_result_dir()
    argv, env = command(scene, out, host)
    trace = os.path.join(out, "strace.txt")
    subprocess.run(["strace", "-f", "-C", "-e", "signal=none", "-o", trace] + argv, env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    counts = {}
    listings, listed = 0, set()
    inside = '"%s' % root
    with open(trace, errors="replace") as f:
        for line in f:
            if "O_DIRECTORY" in line and inside in line and ("openat(" in line or "open(" in line):
                listings += 1
                listed.add(line[line.index(inside) + 1:].split('"', 1)[0])
                continue
            parts = line.split()
            if len(parts) >= 5 and parts[-1].isidentifier() and parts[3].isdigit():
                counts[parts[-1]] = int(parts[3])
    shutil.rmtree(out)
    return (sum(counts.get(n, 0) for n in STAT), sum(counts.get(n, 0) for n in OPEN),
            sum(counts.get(n, 0) for n in LIST), listings, len(listed))


def ensure_strace():
    if shutil.which("strace"):
        return True
    sudo = [] if os.geteuid() == 0 else ["sudo"]
    subprocess.run(sudo + ["apt-get", "install", "-y", "-qq", "strace"], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return shutil.which("strace") is not None


def best(scene, host, runs):
    results = [run_once(scene, host) for _ in range(runs)]
    return min(r[0] for r in results), max(r[1] for r in results)


def print_header():
    print("%-26s %7s %7s %8s %9s %7s %6s %8s %9s" % (
        "run", "wall s", "floor x", "peak MB", "stat/file", "stat", "open", "getdents", "listings"))


def print_row(name, scene, host, root, files, floor_s, runs, counted):
    wall, peak = best(scene, host, runs)
    counts = syscalls(scene, host, root) if counted else None
    shown = ["-"] * 5 if counts is None else [
        "%.3f" % (counts[0] / files), counts[0], counts[1], counts[2],
        "%d/%d" % (counts[3], counts[4])]
    print("%-26s %7.3f %7.2f %8.0f %9s %7s %6s %8s %9s" % ((name, wall, wall / floor_s, peak)
                                                          + tuple(shown)))


def nested_heavy(args, counted):
    """The project with a USD show added, against its own floor."""
    root = "%s-%g-show" % (args.dir, args.scale)
    manifest = project(root, args.scale, show=True)
    layers = []
    for folder, _, names in os.walk(os.path.join(root, "usd", "show")):
        layers.extend(os.path.join(folder, n) for n in names if ".usd" in n)
    nested = sorted(set(opened_files(manifest["scenes"]["usd"]["hip"], "hip")) | set(layers))
    floor(root, nested)
    floor_s = min(floor(root, nested) for _ in range(3))
    files = manifest["files"]
    print()
    print("nested-heavy project: %d files in %d directories, %d file parameters (+%d USD, the show's "
          "among them); %d nested files of %.0f MB, %d of them the show's layers" % (
              files, manifest["directories"], manifest["file_parms"], manifest["usd_parms"],
              len(nested), sum(os.path.getsize(p) for p in nested) / 1e6, len(layers)))
    print("floor (as above, and every layer of the show read): %.3f s" % floor_s)
    print_header()
    for tag, label in (("plain", "no USD"), ("usd", "with USD and the show")):
        print_row("heavy, " + label, manifest["scenes"][tag]["hip"], "hip", root, files, floor_s,
                  args.runs, counted)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--scale", type=float, default=1.0)
    parser.add_argument("--dir", default=os.path.join(tempfile.gettempdir(), "scanflow-flow"))
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--no-growth", action="store_true")
    parser.add_argument("--no-show", action="store_true", help="without the nested-heavy project")
    args = parser.parse_args()
    manifest = project("%s-%g" % (args.dir, args.scale), args.scale)
    root = "%s-%g" % (args.dir, args.scale)
    nested = opened_files(manifest["scenes"]["usd"]["hip"], "hip")
    floor(root, nested)  # warms the cache
    floor_s = min(floor(root, nested) for _ in range(3))
    files = manifest["files"]
    print("project: %d files in %d directories, %d file parameters (+%d USD); %d nested files of %.0f MB "
          "opened" % (files, manifest["directories"], manifest["file_parms"], manifest["usd_parms"],
                      len(nested), sum(os.path.getsize(p) for p in nested) / 1e6))
    print("floor (list every directory, stat every file, read the opened nested files, warm): %.3f s"
          % floor_s)
    counted = ensure_strace()
    print()
    print_header()
    for host, label in (("hip", "our scene layer"), ("hou", "hou test double")):
        for tag in ("plain", "usd"):
            scene = manifest["scenes"][tag]["hip" if host == "hip" else "double"]
            name = "%s, %s" % (label, "with USD" if tag == "usd" else "no USD")
            print_row(name, scene, host, root, files, floor_s, args.runs, counted)
    if not args.no_show:
        nested_heavy(args, counted)
    if args.no_growth:
        return
    print()
    # Time per file above the fixed start-up (interpreter, module, scene load), measured on the
    # same scene without file parameters.
    print("%-7s %9s %6s %8s %9s %10s %12s %18s" % ("scale", "files", "dirs", "wall s", "floor s",
                                                 "start-up s", "us per file", "us/file above start"))
    for scale in (0.1, 1.0, 3.0):
        root = "%s-%g" % (args.dir, scale)
        m = project(root, scale)
        opened = opened_files(m["scenes"]["plain"]["hip"], "hip")
        floor(root, opened)
        f_s = min(floor(root, opened) for _ in range(2))
        wall, _ = best(m["scenes"]["plain"]["hip"], "hip", max(1, args.runs - 1))
        start, _ = best(m["scenes"]["empty"]["hip"], "hip", max(1, args.runs - 1))
        print("%-7g %9d %6d %8.3f %9.3f %10.3f %12.2f %18.2f" % (
            scale, m["files"], m["directories"], wall, f_s, start, 1e6 * wall / m["files"],
            1e6 * (wall - start) / m["files"]))


if __name__ == "__main__":
    main()
