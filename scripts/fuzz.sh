#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a given number of seconds.
# Usage: scripts/fuzz.sh SECONDS [TARGET...]   (default: every target in fuzz/CMakeLists.txt)
# Environment: FUZZ_BUILD_DIR (default build-fuzz), FUZZ_ARGS (extra libFuzzer flags).
# Seeds come from fuzz/corpus/<target>/ and are never modified; inputs found while fuzzing are
# kept in $FUZZ_BUILD_DIR/fuzz/work/<target>/ and crashes in $FUZZ_BUILD_DIR/fuzz/artifacts/.
# Exits non-zero when any target found a fault.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:?usage: scripts/fuzz.sh SECONDS [TARGET...]}
shift
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DSDK_BUILD_FUZZ=ON \
  -DSDK_BUILD_TESTS=OFF -DSDK_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if [ $# -gt 0 ]; then
  cmake --build "$build" --target "$@"
else
  cmake --build "$build" --target fuzz_all
fi

manifest=$build/fuzz/targets.txt
mkdir -p "$build/fuzz/work" "$build/fuzz/artifacts"
failed=()
while read -r name exe seeds; do
  [ -n "$name" ] || continue
  if [ $# -gt 0 ] && ! printf '%s\n' "$@" | grep -qx "$name"; then continue; fi
  work=$build/fuzz/work/$name
  mkdir -p "$work"
  dirs=("$work")
  [ -d "$seeds" ] && dirs+=("$seeds")
  echo "== $name: ${seconds}s"
  # shellcheck disable=SC2086
  if ! "$exe" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/fuzz/artifacts/$name-" ${FUZZ_ARGS:-} "${dirs[@]}" \
      >"$build/fuzz/$name.log" 2>&1; then
    failed+=("$name")
    tail -40 "$build/fuzz/$name.log"
  fi
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)|cov:' "$build/fuzz/$name.log" | tail -3
done <"$manifest"

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAULTS FOUND: ${failed[*]} (see $build/fuzz/artifacts/)"
  exit 1
fi
echo "no faults found"
