#!/usr/bin/env bash
# Builds scanflow for 64-bit Windows with MinGW-w64 and runs its tests under Wine, on a Debian
# machine:
#   - installs the cross compiler, Wine and zlib for Windows with apt-get;
#   - builds the other libraries for Windows from Debian's source packages (PCRE2, c-blosc with
#     LZ4, GoogleTest; nlohmann-json is header-only) into a cache folder that later runs reuse
#     (.cache/windows, or SCANFLOW_WINDOWS_CACHE); the machine's apt configuration is not
#     touched: the sources come through a private sources list;
#   - builds build/windows/ (scanflow.exe, the native command line, and scanflow_tests.exe);
#   - runs every C++ test and the end-to-end tests of tests/windows/ under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
if [ -n "${CI:-}" ]; then export SCANFLOW_WERROR=ON; fi
scripts/setup.sh >/dev/null  # the project's virtual environment: cmake, ninja, pytest

packages=(g++-mingw-w64-x86-64-posix wine64 wine libz-mingw-w64-dev)
scripts/debian_packages.sh "${packages[@]}"

cache=$root/${SCANFLOW_WINDOWS_CACHE:-.cache/windows}
prefix=$cache/prefix
export SCANFLOW_WINDOWS_PREFIX=$prefix
toolchain=$root/scripts/mingw-w64.cmake
cmake=$root/.venv/bin/cmake
ninja=$root/.venv/bin/ninja
jobs=2

# The Debian mirror and release this machine already uses, for the private sources list.
mirror() {
    local uri
    uri=$(grep -h -m1 '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '{print $2}' | head -1 || true)
    [ -n "$uri" ] || uri=$(grep -h -m1 '^deb ' /etc/apt/sources.list 2>/dev/null | awk '{print $2}' | head -1 || true)
    echo "${uri:-http://deb.debian.org/debian}"
}

fetch_sources() {
    local apt=$cache/apt
    mkdir -p "$apt/parts" "$apt/lists/partial" "$apt/cache/archives/partial" "$cache/sources"
    local suite
    suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$(mirror)" "$suite" > "$apt/parts/sources.sources"
    local opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt/parts"
                -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o APT::Sandbox::User=root)
    apt-get "${opts[@]}" update -qq
    (cd "$cache/sources" && apt-get "${opts[@]}" source --download-only -qq pcre2 c-blosc googletest lz4)
}

unpack() {  # unpack NAME: the upstream tarball of a source package, into build/NAME
    local tarball
    tarball=$(ls "$cache"/sources/"$1"_*.orig.tar.* | head -1)
    rm -rf "$cache/build/$1"
    mkdir -p "$cache/build/$1"
    tar xf "$tarball" -C "$cache/build/$1" --strip-components=1
    echo "$cache/build/$1"
}

cmake_install() {  # cmake_install SOURCE_DIR ARGS...: configure, build and install for Windows
    local src=$1
    shift
    "$cmake" -S "$src" -B "$src/out" -G Ninja -DCMAKE_MAKE_PROGRAM="$ninja" \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_POLICY_VERSION_MINIMUM=3.5 "$@" >/dev/null
    "$cmake" --build "$src/out" -j "$jobs" >/dev/null
    "$cmake" --install "$src/out" >/dev/null
}

build_dependencies() {
    local start=$SECONDS
    rm -rf "$prefix"
    mkdir -p "$prefix/include" "$prefix/lib/pkgconfig"
    fetch_sources

    # LZ4, which c-blosc's Debian sources leave out of its bundled code: its library alone.
    local lz4
    lz4=$(unpack lz4)
    (cd "$lz4/lib" && for c in lz4.c lz4hc.c lz4frame.c xxhash.c; do
        x86_64-w64-mingw32-gcc-posix -O2 -c "$c" -o "${c%.c}.o"; done
     x86_64-w64-mingw32-ar rcs "$prefix/lib/liblz4.a" lz4.o lz4hc.o lz4frame.o xxhash.o
     cp lz4.h lz4hc.h lz4frame.h "$prefix/include/")

    cmake_install "$(unpack pcre2)" -DBUILD_SHARED_LIBS=OFF -DPCRE2_BUILD_PCRE2_8=ON \
        -DPCRE2_SUPPORT_JIT=ON -DPCRE2_BUILD_TESTS=OFF -DPCRE2_BUILD_PCRE2GREP=OFF
    # -mxsave: its run-time test for AVX2 reads the extended control register. Its own threads
    # for Windows are renamed, so that they do not clash with the compiler's POSIX threads.
    local renamed="-mxsave" name
    for name in pthread_create pthread_cond_init pthread_cond_destroy pthread_cond_wait \
                pthread_cond_signal pthread_cond_broadcast; do
        renamed+=" -D$name=blosc_$name"
    done
    cmake_install "$(unpack c-blosc)" -DCMAKE_C_FLAGS="$renamed" -DBUILD_SHARED=OFF -DBUILD_STATIC=ON -DBUILD_TESTS=OFF \
        -DBUILD_FUZZERS=OFF -DBUILD_BENCHMARKS=OFF -DDEACTIVATE_SNAPPY=ON -DDEACTIVATE_ZSTD=ON \
        -DPREFER_EXTERNAL_LZ4=ON -DPREFER_EXTERNAL_ZLIB=ON \
        -DLZ4_INCLUDE_DIR="$prefix/include" -DLZ4_LIBRARY="$prefix/lib/liblz4.a"
    cmake_install "$(unpack googletest)" -DBUILD_GMOCK=OFF -Dgtest_force_shared_crt=ON

    # Header-only: the machine's own copy, with its CMake package files beside it.
    cp -r /usr/include/nlohmann "$prefix/include/"
    mkdir -p "$prefix/share/cmake"
    cp -r /usr/share/cmake/nlohmann_json "$prefix/share/cmake/"
    touch "$prefix/.built"
    echo "libraries for Windows built into $prefix in $((SECONDS - start)) s"
}

[ -f "$prefix/.built" ] || build_dependencies

# Wine's prefix, made once (its first start takes a few seconds).
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$cache/wine}
[ -d "$WINEPREFIX" ] || wine cmd /c exit >/dev/null 2>&1 || true

build=build/windows
start=$SECONDS
PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_SYSROOT_DIR="" \
    "$cmake" -S . -B "$build" -G Ninja -DCMAKE_MAKE_PROGRAM="$ninja" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DSCANFLOW_PYTHON=OFF \
    -DSCANFLOW_TESTS=ON -DSCANFLOW_CLI=ON -DSCANFLOW_WERROR="${SCANFLOW_WERROR:-OFF}" \
    -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
"$cmake" --build "$build" -j "$jobs"
echo "Windows build: $((SECONDS - start)) s"

start=$SECONDS
status=0
wine "$build/scanflow_tests.exe" > "$build/cpp-tests.log" 2>&1 || status=$?
tr -d '\r' < "$build/cpp-tests.log" > "$build/cpp-tests.txt"
grep -E '^\[  (FAILED|SKIPPED) ' "$build/cpp-tests.txt" | sort -u || true
passed=$(grep -o '^\[  PASSED  \] [0-9]*' "$build/cpp-tests.txt" | grep -o '[0-9]*$' || echo 0)
skipped=$(grep -o '^\[  SKIPPED \] [0-9]* test' "$build/cpp-tests.txt" | grep -o '[0-9]*' || echo 0)
echo "C++ tests under Wine: $passed passed, $skipped skipped ($((SECONDS - start)) s)"
[ "$status" -eq 0 ] || { tail -30 "$build/cpp-tests.txt"; exit 1; }

# The same command line built for Linux, whose results the Windows runs are compared with.
abi=$(.venv/bin/python -c 'import sys; print("cp%d%d" % sys.version_info[:2])')
native=$(ls -d build/"$abi"-*/ 2>/dev/null | head -1)cli/scanflow
[ -x "$native" ] || { SCANFLOW_TESTS=ON scripts/setup.sh >/dev/null; native=$(ls -d build/"$abi"-*/ | head -1)cli/scanflow; }
start=$SECONDS
SCANFLOW_WINDOWS_EXE="$root/$build/scanflow.exe" SCANFLOW_NATIVE_EXE="$root/$native" \
    .venv/bin/python -m pytest -q -p no:cacheprovider tests/windows
echo "end-to-end tests under Wine: $((SECONDS - start)) s"
