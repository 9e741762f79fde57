#!/usr/bin/env bash
# Sets everything up, then runs every test: the C++ units (GoogleTest through CTest) and the
# module end to end (pytest).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -n "${CI:-}" ]; then export SCANFLOW_WERROR=ON; fi
scripts/setup.sh

build=build/cpp-tests
.venv/bin/cmake -S . -B "$build" -G Ninja -DCMAKE_MAKE_PROGRAM="$PWD/.venv/bin/ninja" \
    -DCMAKE_BUILD_TYPE=Release -DSCANFLOW_PYTHON=OFF -DSCANFLOW_TESTS=ON \
    -DSCANFLOW_WERROR="${SCANFLOW_WERROR:-OFF}" >/dev/null
.venv/bin/cmake --build "$build" -j 2
.venv/bin/ctest --test-dir "$build" --output-on-failure -j 2

export SCANFLOW_PAUSE_SCALE=0
.venv/bin/python -m pytest -q tests/python
