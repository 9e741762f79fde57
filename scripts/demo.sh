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
# Without the host application the scene is read by scanflow's own scene layer.
export HH="${HH:-/opt/hfs}"
status=0
.venv/bin/scanflow -channel web -file "$PWD/$demo/shot.hip" -path_json "$PWD/$out" \
    -plugin_server_dir /plugins -user_id demo -platform 2 || status=$?
echo "exit code: $status"
echo "result files in $out:"
ls -1 "$out"
exit "$status"
