#!/usr/bin/env bash
# Fuzzes, under AddressSanitizer with libFuzzer, the scene container, the .parm/.chn/expression
# parsers, the Arnold scene reader, the geometry readers (ASCII, binary, Blosc), the Redshift byte
# scan and the V-Ray scene reader.   bench/fuzz_hip.sh [SECONDS]   (default 60; needs clang, installed when missing)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
if ! command -v clang++ >/dev/null; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq && $sudo apt-get install -y -qq clang libclang-rt-dev >/dev/null 2>&1 ||
        $sudo apt-get install -y -qq clang >/dev/null
fi
scripts/setup.sh >/dev/null
build=build/fuzz
CXX=clang++ .venv/bin/cmake -S . -B "$build" -G Ninja -DCMAKE_MAKE_PROGRAM="$PWD/.venv/bin/ninja" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSCANFLOW_PYTHON=OFF -DSCANFLOW_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="-fsanitize=address" >/dev/null
.venv/bin/cmake --build "$build" -j 2 --target scanflow_fuzz_hip
corpus=$(mktemp -d)
# Seeds: real scenes' sections, each behind the byte that selects its parser.
.venv/bin/python - "$corpus" <<'PY'
import glob, os, sys
out = sys.argv[1]
n = 0
for path in glob.glob("tests/data/hip/*.hip"):
    data = open(path, "rb").read()
    open(os.path.join(out, "scene%d" % n), "wb").write(b"\x00" + data[6:20000]); n += 1
    pos = 0
    while pos + 76 <= len(data) and data[pos:pos + 6] == b"070707":
        ns, fs = int(data[pos + 59:pos + 65], 8), int(data[pos + 65:pos + 76], 8)
        name = data[pos + 76:pos + 75 + ns].decode(errors="replace")
        body = data[pos + 76 + ns:pos + 76 + ns + fs]
        kind = {"parm": b"\x01", "chn": b"\x02"}.get(name.rsplit(".", 1)[-1])
        if kind and len(body) < 20000:
            open(os.path.join(out, "s%d" % n), "wb").write(kind + body); n += 1
        pos += 76 + ns + fs
open(os.path.join(out, "expr"), "wb").write(b"\x03$HIP/`padzero(4,$F)`.`chs(\"a\")`")
for path in glob.glob("tests/data/ass/*.ass"):
    open(os.path.join(out, "ass%d" % n), "wb").write(b"\x04" + open(path, "rb").read()); n += 1
for path in glob.glob("tests/data/geo/*.geo") + glob.glob("tests/data/geo/*.bgeo") + glob.glob("tests/data/geo/*.sc"):
    open(os.path.join(out, "geo%d" % n), "wb").write(b"\x05" + open(path, "rb").read()); n += 1
open(os.path.join(out, "vray"), "wb").write(b"\x08Bitmap b {\n  file=\"tex/a.exr;b.exr\";\n  cache_path=\"//srv/x.vdb\";\n}\n")
open(os.path.join(out, "rs"), "wb").write(b"\x07\x00C:\\tex\\a.exr\x00./b.rs\x00..\\c.tx\n")
PY
"$build/scanflow_fuzz_hip" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 "$corpus" 2>&1 | tail -5
