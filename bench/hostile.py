"""What each hostile input costs the analysis: exit code, wall time, peak memory and the last
line it wrote to standard error, one row per case, through our own scene reader.

    .venv/bin/python bench/hostile.py [--timeout S] [NAME-PART ...]
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "python"))
import hostile_inputs  # noqa: E402

TASK = {"task_info": {"platform": "2", "channel": "1"},
        "software_config": {"cg_version": "20.0", "plugins": {}}}
OPTIONS = ["-plugin_server_dir", "/plugins", "-user_id", "42", "-platform", "2"]


def run_case(maker, timeout):
    with tempfile.TemporaryDirectory() as tmp:
        root = Path(tmp)
        scene, out = hostile_inputs.prepare(maker, root, TASK)
        env = dict(os.environ, SCANFLOW_HOST="hip", SCANFLOW_PAUSE_SCALE="0", HH=str(root / "hfs"))
        command = [sys.executable, "-c", "import scanflow; scanflow.main()", "-channel", "web",
                   "-file", str(scene), "-path_json", str(out)] + OPTIONS
        start = time.monotonic()
        with open(root / "stderr", "wb") as err_file:
            proc = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=err_file, env=env, cwd=str(root))
            code = "killed"
            while True:
                pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
                if pid:
                    code = str(os.waitstatus_to_exitcode(status))
                    break
                if time.monotonic() - start > timeout:
                    proc.kill()
                    _, _, usage = os.wait4(proc.pid, 0)
                    break
                time.sleep(0.02)
            proc.returncode = 0  # reaped above
        seconds = time.monotonic() - start
        peak = usage.ru_maxrss / 1024
        err = (root / "stderr").read_bytes()
        lines = err.decode(errors="replace").strip().splitlines()
        return code, seconds, peak, (lines[-1] if lines else "")[:110]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--timeout", type=float, default=60)
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()
    print("| case | exit | seconds | peak MB | last line on standard error |")
    print("|---|---|---:|---:|---|")
    for name, maker in hostile_inputs.CASES:
        if args.names and not any(n in name for n in args.names):
            continue
        code, seconds, peak, last = run_case(maker, args.timeout)
        print("| %s | %s | %.1f | %.0f | %s |" % (name, code, seconds, peak, last.replace("|", "/")))
        sys.stdout.flush()


if __name__ == "__main__":
    main()
