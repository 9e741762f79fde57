#!/usr/bin/env bash
# Builds the core, the C++ tests and the module with AddressSanitizer and
# UndefinedBehaviorSanitizer, then runs every C++ test and every Python test under them: the
# module is loaded by the project's interpreter with the sanitizer runtimes preloaded, ahead of
# the installed module on the path, and the command lines the tests start inherit both.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
build=build/sanitize
flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
pybind=$(.venv/bin/python -c 'import pybind11; print(pybind11.get_cmake_dir())')
.venv/bin/cmake -S . -B "$build" -G Ninja -DCMAKE_MAKE_PROGRAM="$PWD/.venv/bin/ninja" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSCANFLOW_PYTHON=ON -DSCANFLOW_TESTS=ON \
    -DPython_EXECUTABLE="$PWD/.venv/bin/python" -Dpybind11_DIR="$pybind" \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DCMAKE_INTERPROCEDURAL_OPTIMIZATION=OFF >/dev/null
.venv/bin/cmake --build "$build" -j 2

# Leaks are the interpreter's own at exit; a report of any other kind fails the run.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
start=$SECONDS
.venv/bin/ctest --test-dir "$build" --output-on-failure -j 2
echo "C++ tests under the sanitizers: $((SECONDS - start)) s"

runtimes="$(g++ -print-file-name=libasan.so):$(g++ -print-file-name=libubsan.so)"
module_dir="$build/module"
mkdir -p "$module_dir"
cp "$build"/scanflow*.so src/python/scanflow_usd_walk.py "$module_dir/"
start=$SECONDS
LD_PRELOAD="$runtimes" PYTHONPATH="$PWD/$module_dir${PYTHONPATH:+:$PYTHONPATH}" SCANFLOW_PAUSE_SCALE=0 \
    .venv/bin/python -m pytest -q -p no:cacheprovider tests/python
echo "Python tests under the sanitizers: $((SECONDS - start)) s"
