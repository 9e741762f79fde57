#!/usr/bin/env bash
# Builds the module and runs the Python tests with each interpreter the host application ships
# (3.7, 3.9, 3.10, 3.11) and the newest (3.12), each in its own virtual environment under
# .venvs/. Give versions to run only those: scripts/test_pythons.sh 3.7 3.12
#
# An interpreter is taken from PATH (python3.X) or from pyenv's versions; one that is found
# nowhere fails the script, naming it, unless --available is given (then it is skipped, and
# said so).
set -euo pipefail
cd "$(dirname "$0")/.."
available_only=0
if [ "${1:-}" = "--available" ]; then
    available_only=1
    shift
fi
versions=("$@")
[ ${#versions[@]} -gt 0 ] || versions=(3.7 3.9 3.10 3.11 3.12)
scripts/setup.sh >/dev/null  # the Debian packages the build needs

find_python() {
    local v=$1
    # A pyenv shim answers command -v for versions it does not run: ask the interpreter itself.
    if "python$v" -c "import sys" >/dev/null 2>&1; then
        "python$v" -c "import sys; print(sys.executable)"
        return
    fi
    local root=${PYENV_ROOT:-$HOME/.pyenv}
    local found
    found=$(ls -d "$root"/versions/"$v".*/bin/"python$v" 2>/dev/null | sort -V | tail -1 || true)
    [ -n "$found" ] && echo "$found"
}

summary=()
failed=0
for v in "${versions[@]}"; do
    python=$(find_python "$v") || true
    if [ -z "$python" ]; then
        echo "no Python $v on this machine (neither python$v on PATH nor in pyenv)" >&2
        [ "$available_only" -eq 1 ] && { summary+=("Python $v: not on this machine, skipped"); continue; }
        exit 1
    fi
    env=".venvs/py$v"
    echo "== Python $v: $python"
    [ -x "$env/bin/python" ] || "$python" -m venv "$env"
    "$env/bin/python" -m pip install -q --disable-pip-version-check --upgrade pip
    "$env/bin/python" -m pip install -q --disable-pip-version-check \
        "pybind11>=2.13,<2.14" "scikit-build-core>=0.10" "cmake>=3.18" ninja pytest
    # The USD library has no build for every interpreter: without it the USD tests are skipped.
    "$env/bin/python" -m pip install -q --disable-pip-version-check usd-core \
        || echo "no usd-core for Python $v: the USD tests are skipped"
    SCANFLOW_WERROR=${SCANFLOW_WERROR:-OFF} "$env/bin/python" -m pip install -q \
        --disable-pip-version-check --no-build-isolation .
    start=$SECONDS
    status=0
    SCANFLOW_PAUSE_SCALE=0 "$env/bin/python" -m pytest -q tests/python > ".venvs/py$v.log" 2>&1 || status=$?
    [ "$status" -eq 0 ] || { tail -30 ".venvs/py$v.log"; failed=1; }
    summary+=("Python $("$env/bin/python" -c 'import platform; print(platform.python_version())'): $(tail -1 ".venvs/py$v.log") ($((SECONDS - start)) s)")
done
printf '%s\n' "${summary[@]}"
exit "$failed"
