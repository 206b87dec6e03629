#!/bin/sh
# Runs GoogleTest executables one after the other inside the USB test guest, each with its filter,
# with the simulated readers on the guest's USB gadgets (SIM_HID_GADGET) and the real hidapi (no
# stand-in on the library path). Usage: guest_suite.sh EXECUTABLE FILTER [EXECUTABLE FILTER]...
# Exits non-zero when any of them failed.
unset LD_LIBRARY_PATH TESSERA_SIM_HID
export SIM_HID_GADGET=1 GTEST_COLOR=no
failed=""
while [ $# -ge 2 ]; do
  echo "=== $(basename "$1") --gtest_filter=$2"
  "$1" --gtest_filter="$2" || failed="$failed $(basename "$1")"
  shift 2
done
if [ -n "$failed" ]; then
  echo "=== failed:$failed"
  exit 1
fi
