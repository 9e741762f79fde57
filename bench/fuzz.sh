#!/usr/bin/env bash
# Fuzzes each parser of outside input as its own libFuzzer target, under AddressSanitizer and
# UndefinedBehaviorSanitizer: the scene container, .parm and .chn sections, expressions, Arnold
# scenes, ASCII/binary/Blosc geometry, the Redshift byte scan, V-Ray scenes and task.json.
#
#   bench/fuzz.sh [SECONDS_PER_TARGET] [PARSER...]     (default 60 s; every parser)
#   FUZZ_JOBS=2 bench/fuzz.sh ...                     (targets run two at a time)
#
# Each target starts from seeds made of the test data and its own dictionary
# (bench/fuzz_dicts/), keeps its corpus in build/fuzz/corpus/PARSER between runs, and leaves
# what it finds in build/fuzz/findings/. The table at the end gives runs, time, coverage and
# findings per target. Needs clang with its sanitizer runtimes (installed when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
parsers=("$@")
[ ${#parsers[@]} -gt 0 ] || parsers=(scene parm chn expr ass geo rs vray task)
if ! command -v clang++ >/dev/null || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq clang libclang-rt-14-dev >/dev/null
fi
scripts/setup.sh >/dev/null
build=build/fuzz
CXX=clang++ .venv/bin/cmake -S . -B "$build" -G Ninja -DCMAKE_MAKE_PROGRAM="$PWD/.venv/bin/ninja" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSCANFLOW_PYTHON=OFF -DSCANFLOW_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined" \
    >/dev/null
.venv/bin/cmake --build "$build" -j 2 --target $(printf 'scanflow_fuzz_%s ' "${parsers[@]}")

# Seeds from the test data, for the targets whose corpus is new.
.venv/bin/python - "$build/corpus" <<'PY'
import glob, os, sys
root = sys.argv[1]
def seed(parser, name, data):
    folder = os.path.join(root, parser)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "seed_" + name), "wb") as f:
        f.write(data[:65536])
# The hostile inputs the tests make: their scenes join the test scenes, their task files the
# task seeds, their other files the seeds of the parser that reads them.
import json, pathlib, tempfile
sys.path.insert(0, "tests/python")
import hostile_inputs
made_scenes, made_tasks, made_files = [], [], []
made_root = pathlib.Path(tempfile.mkdtemp())
for n, (name, maker) in enumerate(hostile_inputs.CASES):
    folder = made_root / str(n)
    folder.mkdir()
    made = maker(folder) if "line" not in name else hostile_inputs.long_vrscene_line(folder, 70000)
    scene, task = made if isinstance(made, tuple) else (made, None)
    made_scenes.append(str(scene))
    if task:
        made_tasks.append(task.encode())
    made_files += [p for p in folder.iterdir() if p.is_file() and p.suffix in (".usda", ".vrscene")]
for i, path in enumerate(made_files):
    if path.suffix == ".vrscene":
        seed("vray", "made_%d" % i, path.read_bytes())
for i, text in enumerate(made_tasks):
    seed("task", "made_%d" % i, text)
for i, path in enumerate(sorted(glob.glob("tests/data/hip/*.hip")) + made_scenes):
    data = open(path, "rb").read()
    seed("scene", str(i), data[6:])
    pos = 0
    while pos + 76 <= len(data) and data[pos:pos + 6] == b"070707":
        ns, fs = int(data[pos + 59:pos + 65], 8), int(data[pos + 65:pos + 76], 8)
        name = data[pos + 76:pos + 75 + ns].decode(errors="replace")
        body = data[pos + 76 + ns:pos + 76 + ns + fs]
        kind = name.rsplit(".", 1)[-1]
        if kind in ("parm", "chn") and len(body) < 20000:
            seed(kind, "%d_%d" % (i, pos), body)
        pos += 76 + ns + fs
for i, text in enumerate([b"$HIP/`padzero(4,$F)`.`chs(\"a\")`", b"`ch(\"../tx\")*2+1`", b"${HIP}/a_$F4.exr",
                          b"`if($F>10, \"a\", \"b\")`", b"`strcat(\"x\", opinput(\".\", 0))`"]):
    seed("expr", str(i), text)
for i, path in enumerate(sorted(glob.glob("tests/data/ass/*.ass"))):
    seed("ass", str(i), open(path, "rb").read())
for i, path in enumerate(sorted(glob.glob("tests/data/geo/*geo*"))):
    data = open(path, "rb").read()
    seed("geo", str(i), b"\x01" + data[5:] if data.startswith(b"\x7fNSJb") else data)
seed("rs", "0", b"\x00C:\\tex\\a.exr\x00./b.rs\x00..\\c.tx\n\x00/abs/v.vdb\x00")
seed("vray", "0", b"Bitmap b {\n  file=\"tex/a.exr;b.exr\";\n  cache_path=\"//srv/x.vdb\";\n}\n#include \"other.vrscene\"\n")
for i, path in enumerate(["examples/demo/task.json"]):
    seed("task", str(i), open(path, "rb").read())
PY

mkdir -p "$build/findings"
fuzz_one() {
    local parser=$1
    "$build/scanflow_fuzz_$parser" "$build/corpus/$parser" -dict="bench/fuzz_dicts/$parser.dict" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$build/findings/$parser-" > "$build/fuzz_$parser.log" 2>&1 || true
}
jobs=${FUZZ_JOBS:-1}
for parser in "${parsers[@]}"; do
    echo "== $parser: $seconds s" >&2
    fuzz_one "$parser" &
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do sleep 1; done
done
wait
table=()
for parser in "${parsers[@]}"; do
    log="$build/fuzz_$parser.log"
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo "?")
    ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo "?")
    findings=$(find "$build/findings" -name "$parser-*" | wc -l)
    table+=("| $parser | ${runs:-?} | $seconds | ${cov:-?} edges, ${ft:-?} features | $findings |")
done
echo "| target | runs | time s | coverage | findings |"
echo "|---|---|---|---|---|"
printf '%s\n' "${table[@]}"
