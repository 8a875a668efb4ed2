#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks what a desktop and a man
# reader need from it; then builds the Debian package and checks that it holds
# the same files and depends on the runtime libraries the programs link.
#   install_and_deb.sh BUILD_DIR VERSION APP_ID ICON_SIZE...
set -euo pipefail
build=$1
version=$2
app=$3
shift 3
icon_sizes=("$@")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# --- cmake --install into a fresh prefix -----------------------------------
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log"

expected=(
  bin/toggra
  bin/toggra-bench
  "share/applications/$app.desktop"
  "share/metainfo/$app.metainfo.xml"
  "share/icons/hicolor/scalable/apps/$app.svg"
  share/man/man1/toggra.1.gz
  share/man/man1/toggra-bench.1.gz
  include/toggra/toggra_driver.h
  bin/toggra-ctl
  share/man/man1/toggra-ctl.1.gz
  lib/udev/rules.d/70-toggra-usbhub.rules
  lib/udev/rules.d/70-toggra-hidrelay.rules
  lib/systemd/user/toggra-headless.service
  lib/systemd/system/toggra-headless.service
)
for size in "${icon_sizes[@]}"; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/$app.png")
done
for file in "${expected[@]}"; do
  [ -f "$prefix/$file" ] || fail "cmake --install left out $file"
done
# The units start the program where this installation put it.
for unit in user system; do
  grep -qx "ExecStart=$prefix/bin/toggra --headless \$TOGGRA_OPTIONS" \
    "$prefix/lib/systemd/$unit/toggra-headless.service" || fail "the $unit unit does not start $prefix/bin/toggra"
done
for program in toggra toggra-bench; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not executable"
done

# Programs of the build that are no part of the installation.
# The driver plug-in header is the one file under include/ that belongs there.
# The back-end modules are the .so files that belong there.
unexpected=$(cd "$prefix" && find . -type f | grep -v '^\./include/toggra/toggra_driver\.h$' |
  grep -vE '^\./lib/([^/]+/)?toggra/backends/[a-z]+\.so$' |
  grep -E 'toggra_tests|toggra-icons|benchmark|\.a$|\.so$|/include/' || true)
[ -z "$unexpected" ] || fail "cmake --install put in build-only files: $unexpected"

# The installed programs find the installed modules: a module entry loads.
modules=$(cd "$prefix" && find . -path '*/toggra/backends/*.so' -printf '%f\n' | sed 's/\.so$//' | sort)
for module in $modules; do
  err=$(TOGGRA_DEVICES="$module:toggra-package-test" TOGGRA_HKCU="$work/hkcu.reg" \
    TOGGRA_HKLM="$work/hklm.reg" "$prefix/bin/toggra-ctl" list 2>&1 >/dev/null || true)
  grep -q "cannot load back-end module" <<<"$err" && fail "installed toggra-ctl cannot load $module: $err"
done

got=$("$prefix/bin/toggra" --version)
[ "$got" = "toggra $version" ] || fail "installed toggra --version says '$got'"
rc=0
"$prefix/bin/toggra-bench" >/dev/null 2>&1 || rc=$?
[ "$rc" -eq 2 ] || fail "installed toggra-bench without arguments exits $rc, not 2"

# Each PNG holds the size its folder promises: width and height from the
# header, bytes 17 to 24.
for size in "${icon_sizes[@]}"; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/$app.png"
  [ -f "$png" ] || continue
  dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{ print ($3 * 256 + $4) "x" ($7 * 256 + $8) }')
  [ "$dims" = "${size}x${size}" ] || fail "$png is $dims"
done

desktop="$prefix/share/applications/$app.desktop"
if [ -f "$desktop" ]; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $app.desktop"
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  [ "$icon" = "$app" ] || fail "the desktop entry names the icon '$icon'"
  while read -r exec; do
    [ -x "$prefix/bin/${exec%% *}" ] || fail "the desktop entry runs '$exec', which is not installed"
  done < <(sed -n 's/^Exec=//p' "$desktop")
  grep -q '^Name\[de\]=' "$desktop" || fail "the desktop entry has no German name"
  grep -q '^Comment\[de\]=' "$desktop" || fail "the desktop entry has no German comment"
fi
appstreamcli validate --no-net "$prefix/share/metainfo/$app.metainfo.xml" >"$work/appstream.log" ||
  { cat "$work/appstream.log" >&2; fail "appstreamcli validate rejects the metainfo"; }
# The metainfo, its desktop entry and its icon as one installed whole.
appstreamcli validate-tree --no-net "$prefix" >"$work/tree.log" ||
  { cat "$work/tree.log" >&2; fail "appstreamcli validate-tree rejects the installed tree"; }

for page in toggra toggra-bench toggra-ctl; do
  gz="$prefix/share/man/man1/$page.1.gz"
  [ -f "$gz" ] || continue
  warnings=$(gzip -dc "$gz" | groff -man -Tutf8 -ww -z 2>&1)
  [ -z "$warnings" ] || fail "groff warns about $page.1: $warnings"
  name="${page//-/\\-} \\- "  # as roff writes it: toggra\-bench \- ...
  gzip -dc "$gz" | grep -qF "$name" || fail "$page.1 has no NAME line for $page"
done

# --- the Debian package ------------------------------------------------------
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
debs=("$work"/deb/toggra_"$version"_*.deb)
if [ ! -f "${debs[0]}" ]; then
  fail "cpack made no toggra_${version}_*.deb"
  exit 1
fi
deb=${debs[0]}

[ "$(dpkg-deb -f "$deb" Package)" = toggra ] || fail "the package is not called toggra"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package version is not $version"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] ||
  fail "the package is not for $(dpkg --print-architecture)"
depends=$(dpkg-deb -f "$deb" Depends)
names=$(tr ',|' '\n\n' <<<"$depends" | awk '{ print $1 }')
# (Debian 13 renamed some libraries' packages for 64-bit time: libqt6core6t64.)
for lib in libqt6widgets6 libqt6gui6 libqt6core6 'libstdc\+\+6' libc6; do
  grep -qEx "${lib}(t64)?" <<<"$names" || fail "Depends lacks $lib: $depends"
done
# Each module built brings its library's package (whose name differs
# between releases: libgpiod2 on Debian 12, libgpiod3 on Debian 13).
declare -A module_package=([usbhub]='libusb-1\.0-0' [hidrelay]='libhidapi-hidraw0' [gpio]='libgpiod[0-9]+'
                           [mqtt]='libmosquitto1')
for module in $modules; do
  grep -qEx "${module_package[$module]}" <<<"$names" ||
    fail "Depends lacks the package of the $module module's library: $depends"
done

# The package holds exactly what cmake --install puts in, under /usr.
(cd "$prefix" && find . -type f | sed 's|^\./|./usr/|' | sort) >"$work/installed.txt"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort >"$work/packaged.txt"
diff -u "$work/installed.txt" "$work/packaged.txt" >"$work/contents.diff" ||
  { cat "$work/contents.diff" >&2; fail "the package's files differ from the installed ones"; }

# The packaged programs run, stripped as they are.
dpkg-deb -x "$deb" "$work/root"
got=$("$work/root/usr/bin/toggra" --version)
[ "$got" = "toggra $version" ] || fail "packaged toggra --version says '$got'"
if readelf -S "$work/root/usr/bin/toggra" | grep -q '\.debug_info'; then
  fail "packaged toggra still carries debug information"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "installed and packaged: $(basename "$deb")"
