#!/usr/bin/env bash
# Sets everything up, then analyses the bundled example project as the farm would: a web run
# whose result files land in examples/demo/out/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

demo=examples/demo
out=$demo/out
rm -rf "$out"
mkdir -p "$out"
cp "$demo/task.json" "$out/task.json"
# Until our own .hip reader lands, the scene is read through the test stand-in of the host
# module, from the scene description in shot.hip.
export PYTHONPATH="$PWD/tests/python/hou_double${PYTHONPATH:+:$PYTHONPATH}"
export HH="${HH:-/opt/hfs}"
status=0
.venv/bin/scanflow -channel web -file "$PWD/$demo/shot.hip" -path_json "$PWD/$out" \
    -plugin_server_dir /plugins -user_id demo -platform 2 || status=$?
echo "exit code: $status"
echo "result files in $out:"
ls -1 "$out"
exit "$status"
