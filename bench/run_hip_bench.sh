#!/usr/bin/env bash
# Times our own scene layer: load and evaluate every parameter of the corpus scenes and of a
# synthetic scene of about 3 MB.   bench/run_hip_bench.sh
# With --coverage DIR ...: how much of the scenes in those folders the layer reads as the host
# would: load outcomes, evaluation errors grouped by cause, render settings' completeness.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
build=build/bench
.venv/bin/cmake -S . -B "$build" -G Ninja -DCMAKE_MAKE_PROGRAM="$PWD/.venv/bin/ninja" -DCMAKE_BUILD_TYPE=Release \
    -DSCANFLOW_PYTHON=OFF -DSCANFLOW_BENCH=ON >/dev/null
if [ "${1:-}" = "--coverage" ]; then
    shift
    .venv/bin/cmake --build "$build" -j 2 --target scanflow_hip_coverage >/dev/null
    exec "$build/scanflow_hip_coverage" "$@" 2>/dev/null
fi
.venv/bin/cmake --build "$build" -j 2 --target scanflow_bench_hip >/dev/null
large=$(mktemp -d)/large.hip
.venv/bin/python bench/make_large_scene.py "$large" 6000
"$build/scanflow_bench_hip" tests/data/hip/*.hip "$large"
