#!/usr/bin/env bash
# Runs every benchmark binary once with tiny sizes, to prove they still build, run and find the
# simulated readers (no figure is judged). Usage: bench_smoke.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
standin="$build/sim/standin"
export BENCH_BURST=200 BENCH_FILE_BYTES=4096 BENCH_ROUNDS=1
for b in orb_codec_bench strix_codec_bench swipe_exchange_bench orb_exchange_bench; do
  [ -x "$build/bin/$b" ] || continue
  echo "== $b"
  out=$(LD_LIBRARY_PATH="$standin" "$build/bin/$b" --benchmark_min_time=0.001 2>&1) || {
    echo "$out"
    exit 1
  }
  echo "$out" | tail -n +4
  if echo "$out" | grep -q "ERROR OCCURRED"; then
    echo "$b: a benchmark reported an error"
    exit 1
  fi
done
echo "== resource_bench"
out=$(cd "$build/lib" && LD_LIBRARY_PATH="$standin" "$build/bin/resource_bench" 0.2 \
  "$build/bin/tessera-sim")
echo "$out"
if echo "$out" | grep -E '^open\.' | grep -vqE ' (1|8)\.000 readers'; then
  echo "resource_bench: not every reader opened"
  exit 1
fi
