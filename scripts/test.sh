#!/usr/bin/env bash
# Sets everything up, then runs every test: the C++ units (GoogleTest through CTest) and the
# module end to end (pytest). The C++ tests are built in the module's own build folder, so the
# core that scripts/demo.sh (or an earlier run) compiled is not compiled again.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -n "${CI:-}" ]; then export SCANFLOW_WERROR=ON; fi
start=$SECONDS
SCANFLOW_TESTS=ON scripts/setup.sh
echo "set-up and build: $((SECONDS - start)) s"

# The build folder scikit-build-core keeps for this interpreter (build/<wheel tag>).
abi=$(.venv/bin/python -c 'import sys; print("cp%d%d" % sys.version_info[:2])')
build=$(ls -d build/"$abi"-*/ 2>/dev/null | head -1)
[ -n "$build" ] || { echo "no module build folder for $abi under build/" >&2; exit 1; }
.venv/bin/ctest --test-dir "$build" --output-on-failure -j 2

export SCANFLOW_PAUSE_SCALE=0
.venv/bin/python -m pytest -q tests/python
