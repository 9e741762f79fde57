#!/usr/bin/env bash
# Lays out the host-application package in dist/houdini: the package file scanflow.json and,
# beside it, scanflow/pythonX.Ylibs/ holding the module built for each interpreter. The host
# reads the package file at start-up from a packages folder and puts scanflow/ on its path;
# it adds the pythonX.Ylibs folder of its own interpreter to sys.path, so one package serves
# every host version whose interpreter has a build here.
#
#   scripts/houdini_package.sh            every interpreter built by scripts/test_pythons.sh
#                                         (.venvs/py3.X) and the project's own (.venv)
#   scripts/houdini_package.sh 3.7 3.11   only these (a virtual environment's folder also serves)
#
# SCANFLOW_PACKAGE_OUT sets the folder laid out (default dist/houdini).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${SCANFLOW_PACKAGE_OUT:-dist/houdini}
rm -rf "$out"
mkdir -p "$out/scanflow"
cp packaging/houdini/scanflow.json "$out/"

envs=()
if [ $# -gt 0 ]; then
    for v in "$@"; do
        if [ -d "$v" ]; then envs+=("$v"); else envs+=(".venvs/py$v"); fi
    done
else
    envs=(.venv .venvs/py3.*)
fi
laid=0
for env in "${envs[@]}"; do
    [ -x "$env/bin/python" ] || continue
    v=$("$env/bin/python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
    module=$(ls "$env"/lib/python"$v"/site-packages/scanflow*.so 2>/dev/null | head -1 || true)
    if [ -z "$module" ]; then
        echo "no scanflow built for Python $v in $env (scripts/test_pythons.sh $v builds it)" >&2
        exit 1
    fi
    mkdir -p "$out/scanflow/python${v}libs"
    cp "$module" "$(dirname "$module")/scanflow_usd_walk.py" "$out/scanflow/python${v}libs/"
    echo "Python $v: $out/scanflow/python${v}libs/$(basename "$module")"
    laid=$((laid + 1))
done
[ "$laid" -gt 0 ] || { echo "no build of scanflow found" >&2; exit 1; }
echo "copy $out/scanflow.json and $out/scanflow into a packages folder of the host"
