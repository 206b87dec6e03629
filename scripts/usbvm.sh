#!/usr/bin/env bash
# Runs one command inside a small virtual machine that has a real USB stack: Debian's own kernel
# with the dummy host controller and a HID gadget (vendor 0x2F1A, product 0x2020, 64-byte input
# and output reports, no report number). Inside the guest the gadget is an ordinary USB device to
# libusb, and /dev/hidg0 is its device side (three more gadgets, usbvm1 to usbvm3 on dummy_udc.1
# to dummy_udc.3, wait unplugged). The host's root file system is mounted read-only (with a
# writable layer in memory) as the guest's root, so the command uses the host's programs and
# libraries as they are.
#
# Usage: scripts/usbvm.sh [--cache DIR] [--rw DIR]... [--timeout SECS] [--mem MIB] -- COMMAND [ARGS...]
#   --cache DIR    where the kernel and the initramfs are kept (default: build/usbvm under the tree)
#   --rw DIR       a host folder the command may write to (mounted read-write at the same path)
#   --timeout SECS the guest is stopped after this many seconds (default 900)
#
# The command runs as root in the host folder the script was started from, with PATH, HOME=/tmp and
# the variables named in USBVM_PASS_ENV (space-separated names) taken over from the caller. Inside
# the guest USBVM_GUEST=1 is set and /sys/kernel/config/usb_gadget/usbvm is the gadget (write "" to
# its UDC file to unplug it, "dummy_udc.0" to plug it in again).
#
# USBVM_QEMU names another emulator binary (to check the skip outcome, for instance).
#
# Exit status: the command's own status; 77 (USBVM_SKIP) when no guest can be run here (qemu
# missing or unable to start, kernel package not available), with the reason on stderr;
# 125 when the guest started but did not report the command's status (crash or time-out).
set -uo pipefail

readonly USBVM_SKIP=77
readonly USBVM_BROKEN=125
root=$(cd "$(dirname "$0")/.." && pwd)
cache=$root/build/usbvm
timeout_s=900
mem=384
rw_dirs=()

while [ $# -gt 0 ]; do
  case $1 in
    --cache) cache=$2; shift 2 ;;
    --rw) rw_dirs+=("$(cd "$2" && pwd)") || exit 2; shift 2 ;;
    --timeout) timeout_s=$2; shift 2 ;;
    --mem) mem=$2; shift 2 ;;
    --) shift; break ;;
    -*) echo "usbvm: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
if [ $# -eq 0 ]; then
  echo "usage: $0 [--cache DIR] [--rw DIR]... [--timeout SECS] -- COMMAND [ARGS...]" >&2
  exit 2
fi

skip() {
  echo "usbvm: SKIPPED: $*" >&2
  exit $USBVM_SKIP
}
log() { echo "usbvm: $*" >&2; }

qemu=${USBVM_QEMU:-$(command -v qemu-system-x86_64)} && [ -x "$qemu" ] || skip "qemu-system-x86_64 is not installed (package qemu-system-x86)"
busybox=/bin/busybox
[ -x "$busybox" ] && "$busybox" --list 2>/dev/null | grep -qx insmod ||
  skip "a static busybox is not installed (package busybox-static)"
command -v cpio >/dev/null || skip "cpio is not installed"
command -v depmod >/dev/null || command -v /sbin/depmod >/dev/null || skip "depmod is not installed (package kmod)"
export PATH=$PATH:/sbin:/usr/sbin
mkdir -p "$cache" || skip "cannot create the cache folder $cache"
cache=$(cd "$cache" && pwd)

# --- Kernel: Debian's current 6.1 image, unpacked into the cache, never installed on the host.
# Only one guest runs at a time on this machine (the lock is held for the whole run), which also
# keeps two runs from unpacking into the cache at once.
exec 8>"$cache/lock"
flock 8

find_kernel() {
  kver=""
  local d
  for d in "$cache"/kernel/lib/modules/*/; do
    [ -d "$d" ] || continue
    local v
    v=$(basename "$d")
    if [ -f "$cache/kernel/boot/vmlinuz-$v" ] && [ -f "$d/modules.dep" ]; then kver=$v; fi
  done
  [ -n "$kver" ]
}

fetch_kernel() {
  local pkg="" cand dl
  # The image the kernel metapackage points at now, e.g. linux-image-6.1.0-58-amd64.
  pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-6\.1\.[0-9.-]*-amd64\)$/\1/p' | head -1)
  if [ -z "$pkg" ] && [ "$(id -u)" -eq 0 ]; then
    apt-get update -qq >/dev/null 2>&1
    pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-6\.1\.[0-9.-]*-amd64\)$/\1/p' | head -1)
  fi
  if [ -z "$pkg" ]; then
    pkg=$(apt-cache pkgnames linux-image-6.1.0- 2>/dev/null | grep -E '^linux-image-6\.1\.0-[0-9]+-amd64(-unsigned)?$' |
      sed 's/-unsigned$//' | sort -t- -k5,5n | tail -1)
  fi
  [ -n "$pkg" ] || return 1
  dl=$(mktemp -d "$cache/download.XXXXXX")
  chmod 755 "$dl"
  for cand in "$pkg-unsigned" "$pkg"; do
    if (cd "$dl" && apt-get download -o APT::Sandbox::User=root "$cand" >/dev/null 2>&1); then break; fi
  done
  local deb
  deb=$(ls "$dl"/*.deb 2>/dev/null | head -1)
  if [ -z "$deb" ]; then rm -rf "$dl"; return 1; fi
  log "unpacking $(basename "$deb")"
  rm -rf "$cache/kernel.new"
  dpkg-deb -x "$deb" "$cache/kernel.new" || { rm -rf "$dl" "$cache/kernel.new"; return 1; }
  rm -rf "$dl"
  # Only the kernel image and the module folders the guest draws on are kept; the rest is large.
  local v m
  v=$(basename "$(ls -d "$cache/kernel.new/lib/modules"/*/ | head -1)")
  m=$cache/kernel.new/lib/modules/$v/kernel
  rm -rf "$cache/kernel.new/usr" "$m.keep"
  mkdir -p "$m.keep/drivers" "$m.keep/net"
  mv "$m/drivers/usb" "$m/drivers/virtio" "$m.keep/drivers/" 2>/dev/null
  mv "$m/net/9p" "$m.keep/net/" 2>/dev/null
  mv "$m/fs" "$m.keep/" 2>/dev/null
  rm -rf "$m"
  mv "$m.keep" "$m"
  depmod -b "$cache/kernel.new" "$v" || { rm -rf "$cache/kernel.new"; return 1; }
  rm -rf "$cache/kernel"
  mv "$cache/kernel.new" "$cache/kernel"
}

if ! find_kernel; then
  log "fetching the kernel package (first run only)"
  fetch_kernel || skip "the Debian kernel package linux-image-6.1.0-*-amd64 could not be fetched"
  find_kernel || skip "the kernel package did not contain a kernel and its modules"
fi
kernel=$cache/kernel/boot/vmlinuz-$kver

# --- Initramfs: static busybox, the modules in load order, the gadget's report descriptor, init.
modules=(virtio_pci 9pnet_virtio 9p overlay dummy_hcd libcomposite usb_f_hid)
init_src=$root/scripts/usbvm-init.sh
stamp=$(cat "$init_src" "$0" | sha256sum | cut -c1-16)-$kver
initrd=$cache/initrd-$stamp.cpio.gz
if [ ! -f "$initrd" ]; then
  tree=$(mktemp -d "$cache/initrd.XXXXXX")
  mkdir -p "$tree"/{bin,dev,proc,sys,host,mods}
  cp "$busybox" "$tree/bin/busybox"
  : >"$tree/mods/order"
  for m in "${modules[@]}"; do
    modprobe -d "$cache/kernel" -S "$kver" --show-depends "$m" | awk '$1 == "insmod" { print $2 }'
  done | awk '!seen[$0]++' | while read -r ko; do
    cp "$ko" "$tree/mods/"
    basename "$ko" >>"$tree/mods/order"
  done
  if [ "$(wc -l <"$tree/mods/order")" -lt "${#modules[@]}" ]; then
    rm -rf "$tree"
    skip "the kernel package lacks the modules ${modules[*]}"
  fi
  # Vendor-defined application collection: 64 input bytes and 64 output bytes, no report number.
  printf '\x06\x00\xff\x09\x01\xa1\x01\x09\x02\x15\x00\x26\xff\x00\x75\x08\x95\x40\x81\x02\x09\x03\x15\x00\x26\xff\x00\x75\x08\x95\x40\x91\x02\xc0' \
    >"$tree/report_desc"
  install -m 755 "$init_src" "$tree/init"
  (cd "$tree" && find . | cpio -o -H newc --quiet | gzip -1) >"$initrd.tmp" && mv "$initrd.tmp" "$initrd"
  rm -rf "$tree"
  find "$cache" -maxdepth 1 -name 'initrd-*.cpio.gz' ! -name "$(basename "$initrd")" -delete
fi

# --- The run folder: the command script in, the status out.
run=$(mktemp -d "$cache/run.XXXXXX")
trap 'rm -rf "$run"' EXIT
{
  echo "cd $(printf '%q' "$PWD") || exit 126"
  echo "export PATH=$(printf '%q' "$PATH") HOME=/tmp USBVM_GUEST=1"
  for v in ${USBVM_PASS_ENV:-}; do
    if [ -n "${!v+x}" ]; then echo "export $v=$(printf '%q' "${!v}")"; fi
  done
  printf 'exec'
  printf ' %q' "$@"
  echo
} >"$run/command.sh"
i=0
for d in "${rw_dirs[@]}"; do
  echo "$d" >>"$run/rw"
  i=$((i + 1))
done

qemu_args=(
  -accel tcg -cpu max -smp 1 -m "$mem" -nodefaults -no-user-config -nographic -no-reboot
  -serial stdio -monitor none
  -kernel "$kernel" -initrd "$initrd"
  -append "console=ttyS0 quiet loglevel=3 panic=-1 8250.nr_uarts=1 usbvm.run=$run"
  -virtfs "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap"
  -virtfs "local,path=$run,mount_tag=run,security_model=none"
)
# qboot starts the kernel directly and faster than the default firmware, where it is installed.
for bios in /usr/share/qemu/qboot.rom /usr/share/seabios/qboot.rom; do
  if [ -f "$bios" ]; then qemu_args+=(-bios "$bios"); break; fi
done
i=0
for d in "${rw_dirs[@]}"; do
  qemu_args+=(-virtfs "local,path=$d,mount_tag=rw$i,security_model=none,multidevs=remap")
  i=$((i + 1))
done

# One guest at a time on this machine, whichever tree it was started from: the cores are shared.
exec 9>/tmp/usbvm.machine.lock
flock 9
start=$(date +%s.%N)
timeout -k 5 "$timeout_s" "$qemu" "${qemu_args[@]}" </dev/null 2>"$run/qemu.err" | tr -d '\r' | tee "$run/console"
qrc=${PIPESTATUS[0]}
elapsed=$(echo "$(date +%s.%N) - $start" | bc)

if [ -f "$run/status" ]; then
  rc=$(cat "$run/status")
  log "guest finished in ${elapsed%??????}s (boot to command: $(cat "$run/boot" 2>/dev/null || echo '?')s), command status $rc"
  exit "$rc"
fi
if [ ! -s "$run/console" ] && [ "$qrc" -ne 124 ]; then
  # Not a word from the guest: qemu could not start here (no usable emulator, no memory...).
  cat "$run/qemu.err" >&2
  skip "qemu could not start the guest (exit status $qrc)"
fi
cat "$run/qemu.err" >&2
if [ "$qrc" -eq 124 ]; then
  log "FAILED: the guest did not finish within ${timeout_s}s"
else
  log "FAILED: the guest stopped without reporting the command's status (qemu status $qrc)"
fi
exit $USBVM_BROKEN
