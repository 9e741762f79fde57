"""Plants each fault of scripts/mutants.txt in turn, rebuilds the C++ tests incrementally, runs
them and says whether a test failed (the fault is killed) or none did (it survived).

A fault is a block of the list:

    @ src/core/upload/gather.cpp  (what the fault breaks)
    - the exact text the fault replaces, found once in the file
    + the text that replaces it

Run through scripts/mutate.sh; `--only WORD` plants only the faults whose line names WORD.
"""

import argparse
import pathlib
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]


def read_mutants(path):
    mutants, current = [], None
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if line.startswith("@ "):
            file, _, why = line[2:].partition("  ")
            current = {"file": file.strip(), "why": why.strip(" ()"), "old": [], "new": [], "line": number}
            mutants.append(current)
        elif line.startswith("- ") and current is not None:
            current["old"].append(line[2:])
        elif line.startswith("+ ") and current is not None:
            current["new"].append(line[2:])
        elif line.strip() == "-" and current is not None:
            current["old"].append("")
        elif line.strip() == "+" and current is not None:
            current["new"].append("")
    for m in mutants:
        m["old"], m["new"] = "\n".join(m["old"]), "\n".join(m["new"])
    return mutants


def run(command, timeout):
    try:
        return subprocess.run(command, cwd=ROOT, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return "timeout"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--only", default="")
    args = parser.parse_args()
    build = pathlib.Path(args.build)
    mutants = [m for m in read_mutants(ROOT / "scripts" / "mutants.txt")
               if args.only in m["file"] + " " + m["why"]]
    ninja = [str(ROOT / ".venv" / "bin" / "cmake"), "--build", str(build), "--target", "scanflow_tests"]
    tests = [str(build / "scanflow_tests"), "--gtest_brief=1"]
    if run(ninja, 1800) != 0 or run(tests, 600) != 0:
        sys.exit("the tests do not build or pass without a fault: nothing to measure")
    killed = survived = 0
    start = time.time()
    for m in mutants:
        path = ROOT / m["file"]
        original = path.read_text(encoding="utf-8")
        if original.count(m["old"]) != 1:
            sys.exit("%s:%d: the text to replace is not found once in %s" % ("mutants.txt", m["line"], m["file"]))
        try:
            path.write_text(original.replace(m["old"], m["new"]), encoding="utf-8")
            built = run(ninja, 1800)
            outcome = "killed" if built != 0 or run(tests, 600) != 0 else "survived"
        finally:
            path.write_text(original, encoding="utf-8")
        killed += outcome == "killed"
        survived += outcome == "survived"
        print("%-8s %s: %s" % (outcome, m["file"], m["why"]), flush=True)
    run(ninja, 1800)  # back to the build without faults
    print("mutants %d killed %d survived %d (%.0f s)" % (len(mutants), killed, survived, time.time() - start))


if __name__ == "__main__":
    main()
