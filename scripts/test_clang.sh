#!/usr/bin/env bash
# Builds the core, the native command line and the C++ tests with clang and libc++ and runs the
# tests: the nearest this Debian machine comes to the toolchain of macOS. GoogleTest is built
# with libc++ from the sources Debian's libgtest-dev ships, into a cache folder reused by later
# runs (.cache/clang).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
if [ -n "${CI:-}" ]; then export SCANFLOW_WERROR=ON; fi
scripts/setup.sh >/dev/null  # the project's virtual environment and the libraries

packages=(clang libc++-dev libc++abi-dev)
scripts/debian_packages.sh "${packages[@]}"

cmake=$root/.venv/bin/cmake
ninja=$root/.venv/bin/ninja
flags="-stdlib=libc++"
prefix=$root/.cache/clang/gtest
if [ ! -f "$prefix/.built" ]; then
    rm -rf "$root/.cache/clang/gtest-build" "$prefix"
    "$cmake" -S /usr/src/googletest -B "$root/.cache/clang/gtest-build" -G Ninja \
        -DCMAKE_MAKE_PROGRAM="$ninja" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_FLAGS="$flags" -DBUILD_GMOCK=OFF \
        -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
    "$cmake" --build "$root/.cache/clang/gtest-build" -j 2 >/dev/null
    "$cmake" --install "$root/.cache/clang/gtest-build" >/dev/null
    touch "$prefix/.built"
fi

build=build/clang
start=$SECONDS
"$cmake" -S . -B "$build" -G Ninja -DCMAKE_MAKE_PROGRAM="$ninja" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="$flags" -DSCANFLOW_PYTHON=OFF -DSCANFLOW_TESTS=ON -DSCANFLOW_CLI=ON \
    -DSCANFLOW_WERROR="${SCANFLOW_WERROR:-OFF}" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
"$cmake" --build "$build" -j 2
echo "clang and libc++ build: $((SECONDS - start)) s"
"$root/.venv/bin/ctest" --test-dir "$build" --output-on-failure -j 2
