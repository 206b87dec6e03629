#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages this tree needs that are not installed yet.
# Idempotent: on a machine that has everything it only checks and returns in seconds.
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build pkg-config
  libusb-1.0-0-dev libhidapi-dev nlohmann-json3-dev libssl-dev
  default-jdk-headless
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev llvm
  socat valgrind
  qemu-system-x86 busybox-static cpio kmod udev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

echo "bootstrap: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
