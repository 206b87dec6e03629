#!/bin/busybox sh
# First process of the guest started by scripts/usbvm.sh, in two stages.
# Stage 1 (in the initramfs) loads the modules, mounts the host's root file system read-only with a
# writable layer in memory over it, mounts the run folder and the writable folders, and makes that
# tree the root. Stage 2 (this file again, run by the same static busybox from the new root) starts
# the device manager, creates the HID gadget on the dummy host controller, runs the command, writes
# its exit status to the run folder and powers the guest off.
bb=/bin/busybox
[ "${1:-}" = stage2 ] && bb=/run/usbvm/busybox

stop() {
  sync
  $bb poweroff -f
  $bb sleep 10
}
die() {
  echo "usbvm-guest: $*" >&2
  stop
}

if [ "${1:-}" != stage2 ]; then
  $bb --install -s /bin
  export PATH=/bin
  mount -t proc proc /proc
  mount -t sysfs sys /sys
  mount -t devtmpfs dev /dev
  echo "usbvm-guest: init"

  for m in $(cat /mods/order); do
    args=""
    # Four controllers, each with a bus of its own: up to four simulated devices at once.
    [ "$m" = dummy_hcd.ko ] && args="num=4"
    insmod "/mods/$m" $args || die "cannot load $m"
  done

  run=$(sed -n 's/.*usbvm\.run=\([^ ]*\).*/\1/p' /proc/cmdline)
  [ -n "$run" ] || die "no run folder on the kernel command line"
  p9="trans=virtio,version=9p2000.L,msize=262144"
  # The host's root, read-only underneath; writes land in memory above it and vanish with the guest.
  mkdir -p /ro /rw
  mount -t 9p -o "$p9,ro,cache=loose" hostroot /ro || die "cannot mount the host's root"
  mount -t tmpfs -o mode=755 upper /rw
  mkdir -p /rw/upper /rw/work
  mount -t overlay -o lowerdir=/ro,upperdir=/rw/upper,workdir=/rw/work overlay /host ||
    die "cannot put a writable layer over the host's root"
  mount -t proc proc /host/proc
  mount -t sysfs sys /host/sys
  mount -t devtmpfs dev /host/dev
  mkdir -p /host/dev/pts /host/dev/shm
  mount -t devpts devpts /host/dev/pts
  mount -t tmpfs tmp /host/dev/shm
  mount -t tmpfs tmp /host/run
  mount -t configfs configfs /host/sys/kernel/config || die "cannot mount configfs"
  # The run folder and the folders the command writes to reach the host's disk.
  mount -t 9p -o "$p9" run "/host$run" || die "cannot mount the run folder"
  i=0
  if [ -f "/host$run/rw" ]; then
    while read -r dir; do
      mount -t 9p -o "$p9" "rw$i" "/host$dir" || die "cannot mount $dir"
      i=$((i + 1))
    done <"/host$run/rw"
  fi
  # Loopback only: tests talk to simulated readers on 127.0.0.1; the guest has no other network.
  ip link set lo up
  mkdir -p /host/run/usbvm
  cp /bin/busybox /init /report_desc /host/run/usbvm/
  echo "$run" >/host/run/usbvm/run
  # The host's root becomes the real root (not a chroot), so that the device manager runs.
  exec switch_root /host /run/usbvm/busybox sh /run/usbvm/init stage2
  die "cannot switch to the host's root"
fi

# Stage 2: the host's root is /.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
run=$(cat /run/usbvm/run)

# The device manager, as on the machines users run: libusb learns of devices plugged in later
# from its events. Without it a program sees only the devices present when it started libusb.
if [ -e /lib/systemd/systemd-udevd ]; then
  /lib/systemd/systemd-udevd --daemon --resolve-names=never || die "cannot start the device manager"
  udevadm trigger --action=add --subsystem-match=usb
else
  echo "usbvm-guest: no systemd-udevd (package udev): libusb will not see devices plugged in later"
fi

# Four gadgets, usbvm on dummy_udc.0 (plugged in now), usbvm1 to usbvm3 on dummy_udc.1 to .3
# (plugged in by the tests that need them). Each has one HID function with 64-byte input and
# output reports and no report number.
make_gadget() {
  g=/sys/kernel/config/usb_gadget/$1
  $bb mkdir "$g" || die "cannot create the gadget $1"
  echo 0x2F1A >"$g/idVendor"
  echo 0x2020 >"$g/idProduct"
  echo 0x0100 >"$g/bcdDevice"
  echo 0x0200 >"$g/bcdUSB"
  $bb mkdir "$g/strings/0x409"
  echo "$2" >"$g/strings/0x409/serialnumber"
  echo "Simulated reader" >"$g/strings/0x409/product"
  echo "Test gadget" >"$g/strings/0x409/manufacturer"
  $bb mkdir "$g/functions/hid.usb0"
  echo 0 >"$g/functions/hid.usb0/protocol"
  echo 0 >"$g/functions/hid.usb0/subclass"
  echo 64 >"$g/functions/hid.usb0/report_length"
  $bb cat /run/usbvm/report_desc >"$g/functions/hid.usb0/report_desc"
  $bb mkdir "$g/configs/c.1"
  $bb mkdir "$g/configs/c.1/strings/0x409"
  echo "HID" >"$g/configs/c.1/strings/0x409/configuration"
  echo 100 >"$g/configs/c.1/MaxPower"
  $bb ln -s "$g/functions/hid.usb0" "$g/configs/c.1/"
}
make_gadget usbvm USBVM0001
make_gadget usbvm1 USBVM0002
make_gadget usbvm2 USBVM0003
make_gadget usbvm3 USBVM0004
echo dummy_udc.0 >/sys/kernel/config/usb_gadget/usbvm/UDC || die "cannot bind the gadget to dummy_udc.0"

# Wait until the host side has enumerated the gadget and its device nodes exist.
n=0
until [ -c /dev/hidg0 ] && $bb grep -qs 2020 /sys/bus/usb/devices/*/idProduct &&
  $bb ls /dev/bus/usb/*/* >/dev/null 2>&1; do
  n=$((n + 1))
  [ $n -lt 200 ] || die "the gadget was not enumerated"
  $bb usleep 50000
done
[ -e /lib/systemd/systemd-udevd ] && udevadm settle --timeout=30

$bb cut -d' ' -f1 /proc/uptime >"$run/boot"
/bin/sh "$run/command.sh" </dev/null >/dev/console 2>&1
echo $? >"$run/status"
stop
