#!/usr/bin/env bash
# Tests the tests: plants each fault of scripts/mutants.txt in turn (a comparison flipped, a
# branch removed, a constant changed, a call dropped, in every subsystem), rebuilds the C++
# tests incrementally in build/mutate, runs them, and prints one line per fault, "killed" when a
# test failed and "survived" when none did, then "mutants N killed K survived S".
#   scripts/mutate.sh                 every fault
#   scripts/mutate.sh --only render   the faults whose line names "render"
#   scripts/mutate.sh --matrix F      and the tests each fault failed, written to F
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
build=build/mutate
# Lightly optimised: each fault recompiles one file and relinks the tests.
.venv/bin/cmake -S . -B "$build" -G Ninja -DCMAKE_MAKE_PROGRAM="$PWD/.venv/bin/ninja" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O1" -DSCANFLOW_PYTHON=OFF \
    -DSCANFLOW_TESTS=ON -DSCANFLOW_CLI=OFF >/dev/null
exec .venv/bin/python scripts/mutate.py --build "$build" "$@"
