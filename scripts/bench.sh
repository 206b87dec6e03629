#!/usr/bin/env bash
# Builds and runs every benchmark against the simulated readers and prints one table.
#   scripts/bench.sh                 full run (idle periods of 10 s, bursts of 100,000)
#   scripts/bench.sh --quick         short run for a smoke check (idle 2 s, bursts of 10,000)
#   BENCH_IDLE_SECONDS=N, BENCH_BURST=N, BENCH_MIN_TIME=S override the sizes.
# Codec figures are ratios against memcpy of the same bytes in the same run; end-to-end figures
# are set beside a raw client doing the same exchange on the same link in the same run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build}
idle=${BENCH_IDLE_SECONDS:-10}
burst=${BENCH_BURST:-100000}
min_time=${BENCH_MIN_TIME:-0.5}
if [ "${1:-}" = "--quick" ]; then
  idle=${BENCH_IDLE_SECONDS:-2}
  burst=${BENCH_BURST:-10000}
  min_time=${BENCH_MIN_TIME:-0.05}
fi

"$root/scripts/bootstrap.sh" >/dev/null
cmake -S "$root" -B "$build" -G Ninja >/dev/null
targets="orb_codec_bench strix_codec_bench swipe_exchange_bench resource_bench"
[ -f "$root/bench/orb_exchange_bench.cpp" ] && targets="$targets orb_exchange_bench"
cmake --build "$build" --target $targets >/dev/null

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
standin="$build/sim/standin"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores" >"$out/load"

for b in orb_codec_bench strix_codec_bench; do
  "$build/bin/$b" --benchmark_min_time="$min_time" --benchmark_format=json \
    --benchmark_out="$out/$b.json" --benchmark_out_format=json >/dev/null 2>"$out/$b.err" ||
    { cat "$out/$b.err"; exit 1; }
done
for b in swipe_exchange_bench orb_exchange_bench; do
  [ -x "$build/bin/$b" ] || continue
  LD_LIBRARY_PATH="$standin" BENCH_BURST="$burst" "$build/bin/$b" \
    --benchmark_min_time="$min_time" --benchmark_out="$out/$b.json" \
    --benchmark_out_format=json >/dev/null 2>"$out/$b.err" || { cat "$out/$b.err"; exit 1; }
done
(cd "$build/lib" && LD_LIBRARY_PATH="$standin" "$build/bin/resource_bench" "$idle" \
  "$build/bin/tessera-sim" >"$out/resource.txt")
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)" >>"$out/load"

python3 "$root/scripts/bench_table.py" "$out" "$idle" "$burst"
