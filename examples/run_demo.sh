#!/usr/bin/env bash
# Runs the example programs of a build tree in order. Usage: run_demo.sh BUILD_DIR [options]
# The options go to every program; demo_1_orbdev takes the link to use: usb (default), tcp or
# serial.
#
# When the simulator (tessera-sim) was built, it is started first and stopped at the end, so the
# programs find simulated readers: on USB through the hidapi stand-in (TESSERA_SIM_HID and
# LD_LIBRARY_PATH, as the simulator prints them), on TCP (TESSERA_SIM_TCP) and on a serial line
# (TESSERA_SIM_SERIAL).
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)
shift

sim="$build/bin/tessera-sim"
if [ -x "$sim" ]; then
  exec {simout}< <(exec "$sim" --usb 1 --tcp 1 --serial 1 --step-ms 100 </dev/null)
  simpid=$!
  trap 'kill "$simpid" 2>/dev/null || true' EXIT
  while read -r -u "$simout" line; do
    case "$line" in
      "export "*) eval "$line" ;;
      usb0*) echo "simulated reader on USB:    ${line#usb0 }" ;;
      tcp0*) export TESSERA_SIM_TCP=${line##* }; echo "simulated reader on TCP:    $TESSERA_SIM_TCP" ;;
      serial0*) export TESSERA_SIM_SERIAL=${line##* }; echo "simulated reader on serial: $TESSERA_SIM_SERIAL" ;;
      ready) break ;;
    esac
  done
fi

cd "$build/lib"
ran=0
for demo in "$build"/bin/demo_*; do
  [ -x "$demo" ] || continue
  echo "=== $(basename "$demo") ==="
  "$demo" "$@"
  ran=1
done
[ "$ran" = 1 ] || { echo "no demonstration programs were built"; exit 1; }
