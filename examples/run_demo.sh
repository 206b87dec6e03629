#!/usr/bin/env bash
# Runs the example programs of a build tree in order. Usage: run_demo.sh BUILD_DIR [options]
set -euo pipefail
build=${1:?build directory}
shift
cd "$build/lib"
ran=0
for demo in "$build"/bin/demo_*; do
  [ -x "$demo" ] || continue
  echo "=== $(basename "$demo") ==="
  "$demo" "$@"
  ran=1
done
[ "$ran" = 1 ] || { echo "no demonstration programs were built"; exit 1; }
