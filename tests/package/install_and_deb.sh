#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks what a desktop, a man
# reader and systemd need from it; then builds the Debian packages and checks
# that together they hold what an installation below /usr holds, each with its
# licence, copyright and changelog, that they depend on the runtime libraries
# the programs link (the headless part without the window's), and that lintian
# finds no error in them.
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
  bin/toggra-headless
  share/man/man1/toggra-ctl.1.gz
  share/man/man1/toggra-headless.1.gz
  lib/udev/rules.d/70-toggra-usbhub.rules
  lib/udev/rules.d/70-toggra-hidrelay.rules
  lib/udev/rules.d/70-toggra-sispm.rules
  lib/udev/rules.d/70-toggra-ftdi.rules
  lib/sysusers.d/toggra.conf
  share/systemd/user/toggra-headless.service
  lib/systemd/system/toggra-headless.service
)
# The serial back-ends' udev rule (CH340/CH341 ttys).
expected+=(lib/udev/rules.d/70-toggra-serial.rules)
for package in toggra toggra-common toggra-dev; do
  expected+=("share/doc/$package/copyright" "share/doc/$package/changelog.gz")
done
for size in "${icon_sizes[@]}"; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/$app.png")
done
for file in "${expected[@]}"; do
  [ -f "$prefix/$file" ] || fail "cmake --install left out $file"
done
# The units start the program where this installation put it; the user unit
# lies where systemctl --user looks below a prefix other than /usr.
for unit in share/systemd/user lib/systemd/system; do
  grep -qx "ExecStart=$prefix/bin/toggra-headless \$TOGGRA_OPTIONS" \
    "$prefix/$unit/toggra-headless.service" || fail "$unit/toggra-headless.service does not start $prefix/bin/toggra-headless"
done
if command -v systemd-analyze >/dev/null; then
  mkdir -m 700 "$work/run"
  MANPATH=$prefix/share/man systemd-analyze verify "$prefix/lib/systemd/system/toggra-headless.service" ||
    fail "systemd-analyze verify rejects the system unit"
  MANPATH=$prefix/share/man XDG_RUNTIME_DIR=$work/run systemd-analyze --user verify \
    "$prefix/share/systemd/user/toggra-headless.service" || fail "systemd-analyze verify rejects the user unit"
fi
# Below /usr the user unit goes where the distribution's units are.
DESTDIR=$work/destdir cmake --install "$build" --prefix /usr >/dev/null
[ -f "$work/destdir/usr/lib/systemd/user/toggra-headless.service" ] ||
  fail "an installation below /usr has no lib/systemd/user/toggra-headless.service"
for program in toggra toggra-bench toggra-headless; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not executable"
done

# Programs of the build that are no part of the installation.
# The driver plug-in header is the one file under include/ that belongs there.
# The back-end modules are the .so files that belong there.
unexpected=$(cd "$prefix" && find . -type f | grep -v '^\./include/toggra/toggra_driver\.h$' |
  grep -v '^\./share/lintian/overrides/' |
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

# --- the Debian packages -----------------------------------------------------
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
arch=$(dpkg --print-architecture)
declare -A deb
for package in toggra toggra-common toggra-dev; do
  files=("$work"/deb/"$package"_"$version"_*.deb)
  [ -f "${files[0]}" ] || { fail "cpack made no ${package}_${version}_*.deb"; continue; }
  deb[$package]=${files[0]}
done
# Back-end modules come as packages of their own.
for file in "$work"/deb/toggra-backend-*_"$version"_*.deb; do
  [ -f "$file" ] || continue
  package=$(dpkg-deb -f "$file" Package)
  deb[$package]=$file
  dpkg-deb -f "$file" Depends | grep -qF "toggra-common (= $version)" || fail "$package does not depend on toggra-common"
done
[ ${#deb[@]} -ge 3 ] || exit 1

all_depends=
for package in "${!deb[@]}"; do
  file=${deb[$package]}
  [ "$(dpkg-deb -f "$file" Package)" = "$package" ] || fail "$file is not called $package"
  [ "$(dpkg-deb -f "$file" Version)" = "$version" ] || fail "the version of $package is not $version"
  want=$arch
  [ "$package" = toggra-dev ] && want=all
  [ "$(dpkg-deb -f "$file" Architecture)" = "$want" ] || fail "$package is not for $want"
  all_depends+=", $(dpkg-deb -f "$file" Depends)"
  # Licence, copyright (Debian's machine-readable format) and changelog.
  mkdir -p "$work/x/$package"
  dpkg-deb -x "$file" "$work/x/$package"
  doc=$work/x/$package/usr/share/doc/$package
  head -1 "$doc/copyright" 2>/dev/null | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "$package has no machine-readable copyright"
  grep -q '^License: Expat' "$doc/copyright" 2>/dev/null || fail "the copyright of $package names no MIT (Expat) licence"
  got=$(gzip -dc "$doc/changelog.gz" 2>/dev/null | dpkg-parsechangelog -l- -SVersion 2>/dev/null || true)
  [ "$got" = "$version" ] || fail "the changelog of $package is not at version $version ('$got')"
done
# One lintian run over every package: its start-up costs more than a package.
if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "${deb[@]}" >"$work/lintian.log" 2>&1 || true
  for package in "${!deb[@]}"; do
    if grep -q "^E: $package[: ]" "$work/lintian.log"; then
      grep "^E: $package[: ]" "$work/lintian.log" >&2
      fail "lintian finds errors in $package"
    fi
  done
else
  fail "lintian is not installed (scripts/install-deps.sh installs it)"
fi

names_of() { tr ',|' '\n\n' <<<"$1" | awk 'NF { print $1 }' | sort -u; }
names=$(names_of "$all_depends")
# (Debian 13 renamed some libraries' packages for 64-bit time: libqt6core6t64.)
for lib in libqt6widgets6 libqt6gui6 libqt6core6 'libstdc\+\+6' libc6; do
  grep -qEx "${lib}(t64)?" <<<"$names" || fail "no package depends on $lib: $all_depends"
done
# Each module built brings its library's package (whose name differs
# between releases: libgpiod2 on Debian 12, libgpiod3 on Debian 13).
declare -A module_package=([usbhub]='libusb-1\.0-0' [hidrelay]='libhidapi-hidraw0' [gpio]='libgpiod[0-9]+'
                           [mqtt]='libmosquitto1')
# libmodbus5 on Debian 12 and 13; the lcus module needs no library of its own.
module_package+=([modbus]='libmodbus5' [lcus]=-)
module_package+=([sispm]='libhidapi-hidraw0' [ftdi]='libftdi1-2(t64)?')
for module in $modules; do
  package=toggra-backend-$module
  [ -n "${deb[$package]:-}" ] || { fail "no package $package for the $module module"; continue; }
  [ "${module_package[$module]}" = - ] && continue
  grep -qEx "${module_package[$module]}" <<<"$(names_of "$(dpkg-deb -f "${deb[$package]}" Depends)")" ||
    fail "$package does not depend on the $module module's library"
done
# A headless machine installs toggra-common without the window's libraries.
common=$(names_of "$(dpkg-deb -f "${deb[toggra-common]}" Depends)")
for lib in libqt6widgets6 libqt6gui6; do
  grep -qEx "${lib}(t64)?" <<<"$common" && fail "toggra-common depends on $lib"
done
dpkg-deb -f "${deb[toggra]}" Depends | grep -qF "toggra-common (= $version)" || fail "toggra does not depend on toggra-common"
[ -f "$work/x/toggra-dev/usr/include/toggra/toggra_driver.h" ] || fail "toggra-dev lacks the plug-in header"
[ -d "$work/x/toggra/usr/include" ] && fail "the window package ships a header"
[ -x "$work/x/toggra-common/usr/bin/toggra-headless" ] || fail "toggra-common lacks toggra-headless"

# The packages hold exactly what an installation below /usr holds.
(cd "$work/destdir" && find . \( -type f -o -type l \) | sort) >"$work/installed.txt"
for package in "${!deb[@]}"; do
  dpkg-deb -c "${deb[$package]}" | awk '$1 !~ /^d/ { print $6 }'
done | sort >"$work/packaged.txt"
diff -u "$work/installed.txt" "$work/packaged.txt" >"$work/contents.diff" ||
  { cat "$work/contents.diff" >&2; fail "the packages' files differ from the installed ones"; }

# The packaged programs run, stripped as they are.
root=$work/x
got=$("$root/toggra/usr/bin/toggra" --version)
[ "$got" = "toggra $version" ] || fail "packaged toggra --version says '$got'"
if readelf -S "$root/toggra/usr/bin/toggra" | grep -q '\.debug_info'; then
  fail "packaged toggra still carries debug information"
fi
grep -qx "ExecStart=/usr/bin/toggra-headless \$TOGGRA_OPTIONS" \
  "$root/toggra-common/usr/lib/systemd/system/toggra-headless.service" ||
  fail "the packaged system unit does not start /usr/bin/toggra-headless"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "installed and packaged: ${!deb[*]}"
