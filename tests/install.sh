#!/usr/bin/env bash
# Installs the built program into a scratch prefix and checks what a Linux
# desktop reads from it, the command-line options without a display, and where
# a copy started from the home folder (as from the application menu) writes.
# With RASTOVA_TEST_PACKAGE=1 it also builds the Debian package and checks it.
set -uo pipefail
build="$1" sample="$2" send="$3"

source "$(dirname "${BASH_SOURCE[0]}")/support.sh"

prefix="$root/prefix"
cmake --install "$build" --prefix "$prefix" >"$root/install.log" 2>&1 || { cat "$root/install.log"; fail "cmake --install failed"; }
id=vn.norvale.Rastova
share="$prefix/share"
for file in bin/rastova libexec/rastova/Freshkit share/icons/hicolor/scalable/apps/$id.svg; do
  [ -f "$prefix/$file" ] || fail "$file is not installed"
done
desktop-file-validate "$share/applications/$id.desktop" || fail "the desktop entry does not validate"
appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml" || fail "the metainfo does not validate"
# The desktop entry, metainfo and icon must also agree with each other.
appstreamcli validate-tree --no-net "$prefix" || fail "the installed tree does not validate"
XDG_DATA_DIRS="$share" update-mime-database "$share/mime" 2>"$root/mime.err" && [ ! -s "$root/mime.err" ] || { cat "$root/mime.err"; fail "the file types do not load"; }
for type in application/geopackage+sqlite3 application/x-shapefile application/x-erdas-hfa application/x-envi; do
  grep -qx "$type" "$share/mime/types" || fail "$type is not defined"
done

export HOME="$root/home" XDG_CONFIG_HOME="$root/config" XDG_DATA_HOME="$root/data" TMPDIR="$root/tmp" XDG_RUNTIME_DIR="$root/runtime"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$TMPDIR" "$XDG_RUNTIME_DIR" "$root/work"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
data="$XDG_DATA_HOME/Norvale/Rastova"
rastova="$prefix/bin/rastova"

# Options are answered without a display, a log or the single-instance socket.
options() {
  cd "$root/work" || exit 1
  "$rastova" --version >"$root/out" 2>"$root/err"; [ $? -eq 0 ] && grep -qE '^Rastova [0-9.]+ \(' "$root/out" \
    || fail "--version: $(cat "$root/out" "$root/err")"
  "$rastova" --help scene.tif >"$root/out" 2>"$root/err"; [ $? -eq 0 ] && grep -q -- '--version' "$root/out" \
    || fail "--help: $(cat "$root/out" "$root/err")"
  "$rastova" scene.tif --bogus >"$root/out" 2>"$root/err"; [ $? -eq 2 ] && [ ! -s "$root/out" ] && grep -q -- '--bogus' "$root/err" \
    || fail "an unknown option: $(cat "$root/out" "$root/err")"
  [ -z "$(ls -A "$root/work")" ] || fail "an option wrote into the working folder: $(ls -A "$root/work")"
}
options
[ ! -e "$TMPDIR/Rastova" ] && [ ! -e "$data" ] || fail "an option touched the socket or the data folder"

# Started in the home folder, it keeps logs/ and Rastova.env in its data folder.
mkdir -p "$data"
echo "RASTOVA_UPDATE_URL=http://127.0.0.1:9/update.json" >"$data/Rastova.env"
cd "$HOME" || exit 1
"$sample" scene.tif || fail "sample generator failed"
QT_QPA_PLATFORM=offscreen "$rastova" scene.tif >"$root/run.out" 2>&1 &
pids+=($!)
waitFor 60 test -S "$TMPDIR/Rastova" || fail "the installed program never listened: $(cat "$root/run.out")"
"$send" "@Rastova $HOME/scene.tif" || fail "a local client could not reach the installed program"
log() { ls "$data"/logs/*.log 2>/dev/null | head -1; }
logged() { grep -qs "Server after commit" "$(log)"; }
waitFor 20 logged || fail "no log in the data folder"
grep -q "Cannot open environment setting file" "$(log)" && fail "Rastova.env in the data folder was not read"
[ ! -e "$HOME/logs" ] || fail "the program wrote logs into the home folder"
options # also while a copy runs: no "already running" notice

if [ "${RASTOVA_TEST_PACKAGE:-0}" = 1 ]; then
  (cd "$root" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$root/package") >"$root/cpack.log" 2>&1 \
    || { cat "$root/cpack.log"; fail "cpack failed"; }
  deb="$(ls "$root"/package/rastova_*.deb)"
  depends="$(dpkg-deb -f "$deb" Depends)"
  for package in libqgis-core libqt5widgets5 libgdal qgis-providers; do
    [[ "$depends" == *"$package"* ]] || fail "the package does not depend on $package: $depends"
  done
  contents="$(dpkg-deb -c "$deb")"
  for file in usr/bin/rastova usr/libexec/rastova/Freshkit usr/share/applications/$id.desktop; do
    grep -q " ./$file$" <<<"$contents" || fail "the package lacks $file"
  done
  apt-get install --simulate "$deb" >"$root/apt.log" 2>&1 || { cat "$root/apt.log"; fail "apt cannot install the package"; }
  dpkg-deb -x "$deb" "$root/unpacked"
  rastova="$root/unpacked/usr/bin/rastova"
  options
  echo "package: $deb ($(du -h "$deb" | cut -f1)) checked"
fi
echo "install: 1 passed, 0 failed"
