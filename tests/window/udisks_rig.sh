#!/usr/bin/env bash
# The window's way to a disk the user has no rights to, on the real system disk service: starts a
# system message bus, udev and UDisks2 where they are not running, runs the window test that opens
# a loop device through the service, and stops what it started.
# Usage: udisks_rig.sh PATH-TO-skelbrook_window_tests
set -u
TESTS=$1
skip() { echo "SKIPPED: $*"; exit 77; }
[[ $(id -u) -eq 0 ]] || skip "needs root"
UDEVD=/lib/systemd/systemd-udevd
UDISKSD=/usr/libexec/udisks2/udisksd
for tool in dbus-daemon busctl udevadm losetup; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[[ -x $UDEVD && -x $UDISKSD ]] || skip "udev or udisks2 is not installed"

started=()
bus_started=0
cleanup() {
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${started[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  done
  [[ $bus_started -eq 1 ]] && rm -f /run/dbus/pid /run/dbus/system_bus_socket
}
trap cleanup EXIT

if ! busctl --system status >/dev/null 2>&1; then
  mkdir -p /run/dbus
  rm -f /run/dbus/pid
  pid=$(dbus-daemon --system --fork --print-pid) || skip "cannot start a system message bus"
  started+=("$pid")
  bus_started=1
fi
if ! pgrep -x systemd-udevd >/dev/null; then
  "$UDEVD" --daemon >/dev/null 2>&1 || skip "cannot start udev"
  started+=("$(pgrep -xn systemd-udevd)")
  # Where udev has never run its database is empty, and UDisks2 ignores every device udev has not
  # seen: announce the block devices once and wait until udev has dealt with them.
  udevadm trigger --action=add --subsystem-match=block
  udevadm settle --timeout=30 || echo "udev did not settle within 30 s"
fi
if ! busctl --system status org.freedesktop.UDisks2 >/dev/null 2>&1; then
  "$UDISKSD" --no-debug >/dev/null 2>&1 &
  started+=("$!")
  for _ in $(seq 100); do
    busctl --system status org.freedesktop.UDisks2 >/dev/null 2>&1 && break
    sleep 0.1
  done
fi

out=$(QT_QPA_PLATFORM=offscreen "$TESTS" aDiskOpensThroughTheDiskService 2>&1)
echo "$out"
grep -q "^PASS   : WindowTest::aDiskOpensThroughTheDiskService()" <<<"$out"
