"""Plants each fault of scripts/mutants.txt in turn, rebuilds the C++ tests incrementally, runs
them and says whether a test failed (the fault is killed) or none did (it survived).

A fault is a block of the list:

    @ src/core/upload/gather.cpp  (what the fault breaks)
    - the exact text the fault replaces, found once in the file
    + the text that replaces it

Run through scripts/mutate.sh; `--only WORD` plants only the faults whose line names WORD.
`--matrix FILE` also writes, for each fault, the tests that failed under it (JSON), and prints
which tests alone kill a fault: the others are the first to look at when tests are merged.
"""

import argparse
import json
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


def failing_tests(report):
    """The tests a run's JSON report names as failed."""
    try:
        data = json.loads(report.read_text(encoding="utf-8"))
    except (OSError, ValueError):
        return ["(no report: the run crashed or timed out)"]
    return [suite["name"] + "." + test["name"] for suite in data.get("testsuites", [])
            for test in suite.get("testsuite", []) if test.get("failures")]


def test_names(binary):
    listed = subprocess.run([str(binary), "--gtest_list_tests"], cwd=ROOT, capture_output=True, text=True).stdout
    names, suite = [], ""
    for line in listed.splitlines():
        if not line.startswith(" "):
            suite = line.split("#")[0].strip()
        elif line.strip():
            names.append(suite + line.split("#")[0].strip())
    return names


def summarise(matrix, names):
    alone = {}
    for fault, tests in matrix.items():
        if len(tests) == 1:
            alone.setdefault(tests[0], []).append(fault)
    killing = {test for tests in matrix.values() for test in tests}
    print("tests that alone kill a fault: %d; that kill faults others kill too: %d; that kill none: %d of %d"
          % (len(alone), len(killing - set(alone)), len(set(names) - killing), len(names)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--only", default="")
    parser.add_argument("--matrix", help="a JSON file for the tests each fault failed")
    args = parser.parse_args()
    build = pathlib.Path(args.build)
    mutants = [m for m in read_mutants(ROOT / "scripts" / "mutants.txt")
               if args.only in m["file"] + " " + m["why"]]
    ninja = [str(ROOT / ".venv" / "bin" / "cmake"), "--build", str(build), "--target", "scanflow_tests"]
    report = build / "mutant-report.json"
    tests = [str(build / "scanflow_tests"), "--gtest_brief=1"]
    if args.matrix:
        tests.append("--gtest_output=json:" + str(report))
    matrix = {}
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
            report.unlink(missing_ok=True)
            built = run(ninja, 1800)
            outcome = "killed" if built != 0 or run(tests, 600) != 0 else "survived"
            failed = [] if outcome == "survived" else ["(the build)"] if built != 0 else failing_tests(report)
        finally:
            path.write_text(original, encoding="utf-8")
        killed += outcome == "killed"
        survived += outcome == "survived"
        print("%-8s %s: %s" % (outcome, m["file"], m["why"]), flush=True)
        matrix["%s: %s" % (m["file"], m["why"])] = failed
        if args.matrix:  # after each fault, so that a run cut short still leaves what it measured
            pathlib.Path(args.matrix).write_text(json.dumps(matrix, indent=1) + "\n", encoding="utf-8")
    run(ninja, 1800)  # back to the build without faults
    if args.matrix:
        summarise(matrix, test_names(build / "scanflow_tests"))
    print("mutants %d killed %d survived %d (%.0f s)" % (len(mutants), killed, survived, time.time() - start))


if __name__ == "__main__":
    main()
