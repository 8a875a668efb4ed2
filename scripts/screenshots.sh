#!/usr/bin/env bash
# Makes the pictures of the README: runs the built program under Xvfb on bench
# files, with settings files of its own, and captures its window into
# doc/images/. Run it again whenever the program's look changes.
#
#   bash scripts/screenshots.sh [BUILD_DIR]      (BUILD_DIR defaults to build)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=$root/doc/images
toggra=$build/toggra
bench_tool=$build/toggra-bench

for tool in Xvfb xdotool import; do
  if ! command -v "$tool" >/dev/null; then
    echo "screenshots.sh: $tool is missing; run bash scripts/install-deps.sh" >&2
    exit 1
  fi
done
for program in "$toggra" "$bench_tool"; do
  if [ ! -x "$program" ]; then
    echo "screenshots.sh: $program is missing; build first" >&2
    exit 1
  fi
done

work=$(mktemp -d)
xvfb_pid=""
toggra_pid=""
cleanup() {
  [ -n "$toggra_pid" ] && kill "$toggra_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A display of our own: Xvfb picks a free number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 2048x1200x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
if [ ! -s "$work/display" ]; then
  echo "screenshots.sh: Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"

# Nothing of the caller's own set-up may leak into the pictures.
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset TOGGRA_BENCH_LOG QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_STYLE_OVERRIDE

# hive FILE ROOT KEY "NAME"=VALUE...: a settings file with one key.
hive() {
  local file=$1 key="$2\\SOFTWARE\\Arvendal GmbH\\USB$3"
  shift 3
  { printf 'REGEDIT4\n\n[%s]\n' "$key"; printf '%s\n' "$@"; } >"$file"
}

# The per-device values live in the machine file, which toggra uses whenever
# it may write it, as it may write these temporary ones. Captions of the
# first two channels of the demo's 4-channel switch (key types 28 and 09):
hive "$work/captions.reg" HKEY_LOCAL_MACHINE "" \
  '"28-1f-00001a2b-devID"="Pumpe"' \
  '"09-1f-00001a2b-devID"="Licht"'
# Durations and candidates of two traffic lights:
hive "$work/lights.reg" HKEY_LOCAL_MACHINE "" \
  '"08-05-0000200b-SwitchTimer"=dword:00000014' \
  '"08-05-0000200b-SwitchTimer2"=dword:00000005' \
  '"08-05-0000200b-SwitchCandidate"="Anna"' \
  '"08-05-0000200c-SwitchTimer"=dword:00000014' \
  '"08-05-0000200c-SwitchTimer2"=dword:00000005' \
  '"08-05-0000200c-SwitchCandidate"="Ben"'
# The display options count only when toggra starts without arguments.
hive "$work/plain.reg" HKEY_CURRENT_USER "\\Toggra" '"OnTray"=dword:00000000'
hive "$work/oneline.reg" HKEY_CURRENT_USER "\\Toggra" '"OneLine"=dword:00000001'
hive "$work/arrow.reg" HKEY_CURRENT_USER "\\Toggra" '"Arrow"=dword:00000001'

# The demo set with a few channels on.
"$bench_tool" "$work/demo.bench" demo >/dev/null
"$bench_tool" "$work/demo.bench" set 0 17 1 >/dev/null
"$bench_tool" "$work/demo.bench" set 0 19 1 >/dev/null
"$bench_tool" "$work/demo.bench" set 1 16 1 >/dev/null

bench_device() {  # TYPE VERSION SERIAL SWITCHES TRAFFIC_LIGHT STATE...
  printf '[device]\ntype = %s\nversion = %s\nserial = %s\nswitches = %s\n' "$1" "$2" "$3" "$4"
  printf 'traffic_light = %s\ncutter = 0\nconfig_failures = 0\nmulti_switch_fails = 0\n' "$5"
  shift 5
  printf 'state = %s\nresets = 0\n\n' "$*"
}
bench_device 8 5 8203 3 1 1 0 0 >"$work/lights.bench"
bench_device 8 5 8204 3 1 1 0 0 >>"$work/lights.bench"
bench_device 48 2 4711 8 0 1 0 0 1 0 1 1 0 >"$work/group.bench"

# start BENCH USER_HIVE MACHINE_HIVE ARGS...: starts toggra and waits for its
# window.
start() {
  local bench=$1 user=$2 machine=$3
  shift 3
  TOGGRA_BENCH=$bench TOGGRA_HKCU=$user TOGGRA_HKLM=$machine \
    "$toggra" "$@" >"$work/toggra.log" 2>&1 &
  toggra_pid=$!
  if ! window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$toggra_pid" | head -n1) ||
     [ -z "$window" ]; then
    echo "screenshots.sh: no window from toggra $*:" >&2
    cat "$work/toggra.log" >&2
    exit 1
  fi
}

# capture NAME: the window as doc/images/NAME.png, once it has been painted.
capture() {
  sleep 1
  import -window "$window" "$out/$1.png"
  echo "$out/$1.png"
}

stop() {
  kill "$toggra_pid"
  wait "$toggra_pid" 2>/dev/null || true
  toggra_pid=""
}

mkdir -p "$out"

start "$work/demo.bench" "$work/plain.reg" "$work/captions.reg"
capture two-rows
stop

start "$work/demo.bench" "$work/oneline.reg" "$work/captions.reg"
capture one-line
stop

start "$work/demo.bench" "$work/arrow.reg" "$work/captions.reg"
capture arrows
stop

# The first light's run started with F1 and caught in its green phase.
start "$work/lights.bench" "$work/plain.reg" "$work/lights.reg" -A
xdotool windowfocus --sync "$window" key F1
sleep 3
capture traffic-light-run
stop

start "$work/group.bench" "$work/plain.reg" "$work/empty.reg" -D 16750848 3355647
capture group
stop

# The lamps and icons at 200 %, to see that they stay sharp.
QT_SCALE_FACTOR=2 start "$work/demo.bench" "$work/plain.reg" "$work/captions.reg"
capture two-rows-200
stop
