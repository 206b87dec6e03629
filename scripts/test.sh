#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test with CTest.
# SDK_FULL=1 adds the same suite under AddressSanitizer + UBSan and under ThreadSanitizer, then
# each fuzz target for a few seconds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
"$root/scripts/bootstrap.sh"

run_suite() {  # build dir, label, extra cmake args...
  local dir=$1 label=$2
  shift 2
  echo "=== $label: build ==="
  "$root/scripts/build.sh" "$dir" "$@"
  echo "=== $label: tests ==="
  (cd "$dir" && ctest --output-on-failure -j"$jobs" --timeout 300 ${SDK_CTEST_ARGS:-})
}

run_suite "$root/build" "normal build"
if [ "${SDK_FULL:-0}" != 1 ]; then exit 0; fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
run_suite "$root/build-asan" "AddressSanitizer + UBSan" -DSDK_SANITIZE=address -DSDK_BUILD_BENCH=OFF

export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
run_suite "$root/build-tsan" "ThreadSanitizer" -DSDK_SANITIZE=thread -DSDK_BUILD_BENCH=OFF

if [ -x "$root/scripts/fuzz.sh" ]; then
  echo "=== fuzz targets (short run) ==="
  "$root/scripts/fuzz.sh" "${SDK_FUZZ_SECONDS:-5}"
fi
