#!/bin/sh
# checkinstall.sh BUILD_DIR VERSION: installs the build into a temporary DESTDIR and checks it.
set -eu
build=$1
version=$2
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest cmake --install "$build" --prefix /opt/vu >/dev/null
root=$dest/opt/vu
id=org.varnelusage.varnelusage
for f in bin/varnelusage bin/varnelusage-report share/applications/$id.desktop \
    share/metainfo/$id.metainfo.xml share/icons/hicolor/scalable/apps/varnelusage.svg \
    share/man/man1/varnelusage.1.gz share/man/man1/varnelusage-report.1.gz \
    share/doc/varnelusage/copyright share/doc/varnelusage/changelog.gz; do
  test -f "$root/$f" || { echo "missing: $f"; exit 1; }
done
for size in 16 22 24 32 48 64 128 256; do
  test -s "$root/share/icons/hicolor/${size}x${size}/apps/varnelusage.png" ||
    { echo "missing: the ${size}px icon"; exit 1; }
done
entry=$root/share/applications/$id.desktop
out=$(desktop-file-validate "$entry" 2>&1)
test -z "$out" || { echo "$out"; exit 1; }
# The menu entry starts the program of this prefix, which need not be on the PATH.
grep -qx "Exec=/opt/vu/bin/varnelusage" "$entry" && grep -qx "TryExec=/opt/vu/bin/varnelusage" "$entry" ||
  { echo "the menu entry does not name /opt/vu/bin/varnelusage"; exit 1; }
appstreamcli validate --no-net --pedantic "$root/share/metainfo/$id.metainfo.xml"
for program in varnelusage varnelusage-report; do
  test "$("$root/bin/$program" --version)" = "$program $version" ||
    { echo "$program --version does not say $version"; exit 1; }
done
# Without a display the installed application prints the report of the tree, status 0, and says
# why on one line of its own (what the platform plugins say of a missing display is kept quiet).
home=$dest/home
mkdir -p "$home/.varnel/projects/p" "$dest/tmp"
printf '{"type":"assistant","timestamp":"%s","requestId":"1","message":{"id":"m1","model":"%s","usage":{"output_tokens":5}}}\n' \
  "$(date -u +%Y-%m-%dT%H:%M:%SZ)" varnel-corvel-4 >"$home/.varnel/projects/p/a.jsonl"
report=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_RUNTIME_DIR HOME=$home \
  TMPDIR="$dest/tmp" "$root/bin/varnelusage" 2>"$dest/stderr")
test -z "$(ls -A "$dest/tmp")" || { echo "a headless start left in /tmp: $(ls -A "$dest/tmp")"; exit 1; }
expected=$(HOME=$home "$root/bin/varnelusage-report")
test "$report" = "$expected" || { echo "unexpected report: $report"; exit 1; }
test "$(cat "$dest/stderr")" = "varnelusage: no graphical session (no display could be opened); printing\
 the usage report instead" ||
  { echo "a headless start said more than its own line:"; cat "$dest/stderr"; exit 1; }
# With a display it starts, takes its single-instance socket, and ends with status 0 on SIGTERM,
# which only its running event loop can answer so.
exec 3>"$dest/display"
Xvfb -displayfd 3 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$dest"' EXIT
# The number is complete once its newline is there.
for _ in $(seq 100); do [ "$(wc -l <"$dest/display")" -ge 1 ] && break; sleep 0.1; done
mkdir -m 700 "$dest/run"
# A bus that starts no services: a keyring it started would outlive the session, holding the
# test's output open.
printf '<busconfig><type>session</type><listen>unix:tmpdir=%s</listen><auth>EXTERNAL</auth><policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy></busconfig>\n' \
  "$dest" >"$dest/bus.conf"
status=$(DISPLAY=:$(cat "$dest/display") HOME=$home XDG_RUNTIME_DIR=$dest/run \
  dbus-run-session --config-file="$dest/bus.conf" -- sh -c '"$1" 2>/dev/null & app=$!
    for _ in $(seq 300); do [ -S "$2" ] && break; kill -0 $app || exit 101; sleep 0.1; done
    [ -S "$2" ] || { kill -KILL $app; exit 102; }; kill -TERM $app; wait $app' \
  sh "$root/bin/varnelusage" "$dest/run/varnelusage.socket"; echo $?)
test "$status" = 0 || { echo "the installed application under a display: status $status"; exit 1; }
# Uninstalling removes every file and every folder the install made below the prefix.
DESTDIR=$dest cmake -DMANIFEST="$build/install_manifest.txt" \
  -P "$(dirname "$0")/../../cmake/uninstall.cmake"
test -z "$(ls -A "$root")" || { echo "left after uninstalling:"; find "$root"; exit 1; }
echo "install tree: ok"
