#!/usr/bin/env bash
# The udev rule that gives the group toggra the hub ports' "disable"
# attributes: its match keys, and its RUN command as udev runs it (the text in
# single quotes to /bin/sh, with $sys and $devpath substituted) on a fake
# sysfs tree of a hub. Where the machine has no group toggra, a mount
# namespace of the test's own supplies one (exit 77, skipped, where that is
# not allowed).
set -euo pipefail
rules=${1:?usage: udev_disable_rule.sh RULES_FILE}
fail() { echo "FAIL: $*" >&2; exit 1; }

line=$(grep -E '^SUBSYSTEM=="usb", ENV\{DEVTYPE\}=="usb_interface"' "$rules") ||
  fail "no rule for the hubs' interfaces in $rules"
for key in 'DRIVER=="hub"' 'ACTION=="add|bind|change"' "RUN+=\"/bin/sh -c '"; do
  [[ $line == *"$key"* ]] || fail "the rule lacks $key: $line"
done
cmd=${line#*RUN+=\"/bin/sh -c \'}
cmd=${cmd%\'\"}
[[ $cmd != "$line" && $cmd != *"'"* ]] || fail "cannot read the RUN command: $line"

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
iface=/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0
ports=$tree/sys$iface
mkdir -p "$ports/1-1-port1" "$ports/1-1-port2" "$ports/1-1-port3"
# Port 3 of a kernel before Linux 6 has no "disable".
touch "$ports/1-1-port1/disable" "$ports/1-1-port2/disable" "$ports/bInterfaceClass"
chmod 0644 "$ports/1-1-port1/disable" "$ports/1-1-port2/disable" "$ports/bInterfaceClass"
run=${cmd//\$sys/$tree/sys}
run=${run//\$devpath/$iface}

check='
set -eu
/bin/sh -c "$RUN" || { echo "FAIL: the command failed" >&2; exit 1; }
for port in 1 2; do
  got=$(stat -c "%G %a" "$PORTS/1-1-port$port/disable")
  [ "$got" = "toggra 664" ] || { echo "FAIL: port $port disable: $got, not toggra 664" >&2; exit 1; }
done
[ ! -e "$PORTS/1-1-port3/disable" ] || { echo "FAIL: a disable attribute was made" >&2; exit 1; }
got=$(stat -c "%a" "$PORTS/bInterfaceClass")
[ "$got" = 644 ] || { echo "FAIL: another attribute changed: $got" >&2; exit 1; }
'
export RUN=$run PORTS=$ports
if getent group toggra >/dev/null; then
  bash -c "$check"
else
  # Without the group (a machine without the package) the rule must not fail
  # either: udev would log every hub as an error.
  /bin/sh -c "$run" || fail "the command fails where there is no group toggra"
  [ "$(stat -c %a "$ports/1-1-port1/disable")" = 664 ] || fail "not group-writable without the group"
  chmod 0644 "$ports/1-1-port1/disable" "$ports/1-1-port2/disable"
  group=$tree/group
  { cat /etc/group; echo "toggra:x:64999:"; } >"$group"
  unshare -m true 2>/dev/null || { echo "SKIP: no mount namespace for a group toggra"; exit 77; }
  unshare -m bash -c "mount --bind '$group' /etc/group && $(printf %q bash) -c $(printf %q "$check")"
fi
echo "udev disable rule: ok"
