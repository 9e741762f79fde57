#!/usr/bin/env bash
# How much of real scenes our own scene layer reads as the host would: loads every .hip scene in
# the given folders, evaluates every parameter and reads every render node's settings, and prints
# the load outcomes, the evaluation errors grouped by cause and the render settings' completeness.
#   bench/hip_coverage.sh DIR [DIR ...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
build=build/bench
.venv/bin/cmake -S . -B "$build" -G Ninja -DCMAKE_MAKE_PROGRAM="$PWD/.venv/bin/ninja" -DCMAKE_BUILD_TYPE=Release \
    -DSCANFLOW_PYTHON=OFF -DSCANFLOW_BENCH=ON >/dev/null
.venv/bin/cmake --build "$build" -j 2 --target scanflow_hip_coverage >/dev/null
"$build/scanflow_hip_coverage" "$@" 2>/dev/null
