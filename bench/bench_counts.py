"""How the analysis grows with the size of what a scene holds: scenes of N nodes (each a null
node with a text parameter) and USD layers of N sublayers, analysed by the command line on our
own scene layer. Prints wall time, peak memory and the time per item, so that growth faster
than linear shows as a rising per-item figure.

    .venv/bin/python bench/bench_counts.py [--nodes N,N,...] [--sublayers N,N,...] [--chain N]

Defaults: nodes 10k, 100k, 1M; sublayers 1k, 10k, 100k; a chain of 2,000 layers, one folder
per layer.
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
TASK = {"task_info": {"platform": "2", "channel": "1"},
        "software_config": {"cg_version": "20.0", "plugins": {}}}


def write_node_scene(path, count):
    """cpio sections written directly: a million nodes through the general writer is slow. They
    are written as they are made, so that this process stays small: a child's peak memory, as the
    system reports it, starts from its parent's size when it was started."""
    out = open(path, "wb")

    def add(name, body):
        data = body.encode()
        out.write(b"070707000001000000000666000000000000000001000000%011o%06o%011o" % (
            0, len(name.encode()) + 1, len(data)))
        out.write(name.encode() + b"\0" + data)

    add(".start", "fps 24\ntcur 0\ntset 0 10\nframe 1 240\n")
    add(".variables", "set -g _HIP_SAVEVERSION = '20.0.547'\n")
    for root in ("obj", "out"):
        add(root + ".def", "comment \"\"\nflags =  lock off\ninputs\n{\n}\nend\n")
    for i in range(count):
        name = "obj/n%d" % i
        add(name + ".init", "type = null\nmatchesdef = 0\n")
        add(name + ".def", "comment \"\"\nflags =  lock off bypass off display on\ninputs\n{\n}\nend\n")
        add(name + ".parm", "{\nversion 0.8\nfile\t[ 0\tlocks=0 ]\t(\t\"$HIP/tex/n%d.png\"\t)\n}\n" % i)
    add("TRAILER!!!", "")
    out.close()


def write_sublayers(root, count):
    (root / "subs").mkdir()
    for i in range(count):
        (root / "subs" / ("s%d.usda" % i)).write_text('#usda 1.0\ndef "P%d" {}\n' % i)
    body = ",\n".join("    @./subs/s%d.usda@" % i for i in range(count))
    top = root / "top.usda"
    top.write_text("#usda 1.0\n(\n  subLayers = [\n%s\n  ]\n)\n" % body)
    return top


def write_chain(root, count):
    for i in range(count):
        folder = root / ("d%04d" % i)
        folder.mkdir()
        sub = '(\n  subLayers = [@../d%04d/layer.usda@]\n)\n' % (i + 1) if i + 1 < count else ""
        (folder / "layer.usda").write_text('#usda 1.0\n%sdef "L%d" {}\n' % (sub, i))
    return root / "d0000" / "layer.usda"


def analyse(root, scene):
    out = root / "out"
    out.mkdir(exist_ok=True)
    (out / "task.json").write_text(json.dumps(TASK))
    (root / "hfs").mkdir(exist_ok=True)
    env = dict(os.environ, SCANFLOW_HOST="hip", SCANFLOW_PAUSE_SCALE="0", HH=str(root / "hfs"))
    command = [sys.executable, "-c", "import scanflow; scanflow.main()", "-channel", "web", "-file",
               str(scene), "-path_json", str(out), "-plugin_server_dir", "/p", "-user_id", "1",
               "-platform", "2"]
    start = time.monotonic()
    proc = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.monotonic() - start
    err = proc.stderr.read().decode(errors="replace")
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        print("  exit %d: %s" % (code, err.strip().splitlines()[-1:] if err.strip() else ""))
    return seconds, usage.ru_maxrss / 1024


def numbers(text):
    return [int(float(x.replace("k", "e3").replace("M", "e6"))) for x in text.split(",") if x]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--nodes", default="10k,100k,1M")
    parser.add_argument("--sublayers", default="1k,10k,100k")
    parser.add_argument("--chain", type=int, default=2000)
    args = parser.parse_args()
    print("| input | items | wall s | peak MB | µs per item |")
    print("|---|---:|---:|---:|---:|")
    rows = [("nodes", n, write_node_scene) for n in numbers(args.nodes)]
    rows += [("sublayers", n, write_sublayers) for n in numbers(args.sublayers)]
    rows += [("chain of layers, a folder each", args.chain, write_chain)] if args.chain else []
    for kind, count, write in rows:
        with tempfile.TemporaryDirectory() as tmp:
            root = Path(tmp)
            if kind == "nodes":
                scene = root / "shot.hip"
                write(scene, count)
            else:
                scene = write(root, count)
            seconds, peak = analyse(root, scene)
            print("| %s | %d | %.2f | %.0f | %.1f |" % (kind, count, seconds, peak, seconds / count * 1e6))
            sys.stdout.flush()


if __name__ == "__main__":
    main()
