#!/usr/bin/env bash
# The scalable icon, as a desktop renders it, must show the lamp the program
# draws: same colours, same crescent. A lamp with another face colour or the
# crescent on the other side must be told apart, or the check proves nothing.
#   scalable_icon.sh TOGGRA_ICONS SVG
set -euo pipefail
tool=$1
svg=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

render() {  # SVG SIZE OUT
  rsvg-convert --width "$2" --height "$2" --output "$3" "$1"
}

for size in 16 32 64 128; do
  render "$svg" "$size" "$work/lamp-$size.png"
  if ! "$tool" compare "$work/lamp-$size.png"; then
    echo "FAIL: the scalable icon at $size px differs from the drawn lamp" >&2
    status=1
  fi
done

sed 's/#00ff00/#ff0000/' "$svg" >"$work/red-face.svg"
sed 's/cx="45.5" cy="45.5"/cx="54.5" cy="54.5"/' "$svg" >"$work/crescent-left.svg"
for wrong in red-face crescent-left; do
  if cmp -s "$svg" "$work/$wrong.svg"; then
    echo "FAIL: $wrong: the icon no longer has the expected shape to alter" >&2
    status=1
    continue
  fi
  render "$work/$wrong.svg" 64 "$work/$wrong.png"
  if "$tool" compare "$work/$wrong.png" >/dev/null; then
    echo "FAIL: a lamp with $wrong passes as the program's lamp" >&2
    status=1
  fi
done
exit $status
