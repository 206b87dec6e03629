#!/usr/bin/env bash
# Installs what is missing, builds, and runs the demonstration against simulated readers.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/bootstrap.sh"
"$root/scripts/build.sh" "$root/build"
exec "$root/examples/run_demo.sh" "$root/build" "$@"
