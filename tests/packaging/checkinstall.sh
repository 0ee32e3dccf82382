#!/bin/sh
# checkinstall.sh BUILD_DIR: installs the build into a temporary DESTDIR and checks the result.
set -eu
build=$1
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest cmake --install "$build" --prefix /opt/vu >/dev/null
root=$dest/opt/vu
for f in bin/varnelusage bin/varnelusage-report share/applications/varnelusage.desktop \
    share/metainfo/org.varnelusage.VarnelUsage.metainfo.xml \
    share/icons/hicolor/scalable/apps/varnelusage.svg; do
  test -f "$root/$f" || { echo "missing: $f"; exit 1; }
done
for size in 16 22 24 32 48 64 128 256; do
  test -s "$root/share/icons/hicolor/${size}x${size}/apps/varnelusage.png" ||
    { echo "missing: the ${size}px icon"; exit 1; }
done
out=$(desktop-file-validate "$root/share/applications/varnelusage.desktop" 2>&1)
test -z "$out" || { echo "$out"; exit 1; }
appstreamcli validate --no-net "$root/share/metainfo/org.varnelusage.VarnelUsage.metainfo.xml"
# Without a display the installed application prints the report of an empty tree, status 0.
home=$dest/home
mkdir -p "$home"
report=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME=$home \
  XDG_RUNTIME_DIR=$dest "$root/bin/varnelusage" 2>/dev/null)
expected=$(HOME=$home "$root/bin/varnelusage-report")
test "$report" = "$expected" || { echo "unexpected report: $report"; exit 1; }
# With a display it starts, stays up, and ends with status 0 on SIGTERM.
exec 3>"$dest/display"
Xvfb -displayfd 3 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$dest"' EXIT
# The number is complete once its newline is there.
for _ in $(seq 100); do [ "$(wc -l <"$dest/display")" -ge 1 ] && break; sleep 0.1; done
mkdir -m 700 "$dest/run"
status=$(DISPLAY=:$(cat "$dest/display") HOME=$home XDG_RUNTIME_DIR=$dest/run \
  dbus-run-session -- sh -c '"$1" 2>/dev/null & app=$!; sleep 2
    kill -0 $app || exit 101; kill -TERM $app; wait $app' sh "$root/bin/varnelusage"; echo $?)
test "$status" = 0 || { echo "the installed application under a display: status $status"; exit 1; }
echo "install tree: ok"
