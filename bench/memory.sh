#!/bin/sh
# memory.sh BUILD_DIR TREE...: resident memory per accepted reply, each figure beside the same
# program on an empty tree in the same run.
#   - `varnelusage-report --watch --json` once its first report is out, and after each of three
#     full reloads (a transcript replaced by a copy of itself: new file, same figures);
#   - the tray application under Xvfb with trayer once its first scan is over, and after one
#     reload (skipped with APP=0 or without Xvfb and trayer);
#   - the peak of `varnelusage-report --json` over RUNS runs (default 5), and its wall and CPU
#     time beside `wc -l` over the same transcripts (best of three each).
# BUILD_DIR: a Release build with the report and, for the application, the tray program.
set -eu
[ $# -ge 2 ] || { sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
build=$(cd "$1" && pwd); shift
report=$build/src/cli/varnelusage-report
app=$build/src/app/varnelusage
runs=${RUNS:-5}
work=$(mktemp -d /tmp/vu-memory.XXXXXX)
mkdir -p "$work/empty" "$work/home/.varnel"
pids=""

cleanup() {
  for p in $pids; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

rss() { awk '/^VmRSS/ { print $2 }' "/proc/$1/status"; } # KiB
cpu() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }      # clock ticks
# Returns once the process has used no CPU time for two seconds: its scan is over.
settle() {
  last=-1 still=0
  while [ "$still" -lt 4 ]; do
    now=$(cpu "$1")
    if [ "$now" = "$last" ]; then still=$((still + 1)); else still=0; fi
    last=$now
    sleep 0.5
  done
}
# Waits until FILE holds at least N lines.
lines() {
  while [ "$(wc -l <"$1")" -lt "$2" ]; do sleep 0.1; done
}
per_reply() { # KIB EMPTY_KIB REPLIES
  awk -v a="$1" -v b="$2" -v n="$3" 'BEGIN { printf "%.1f MiB, %.1f B per reply", a / 1024, (a - b) * 1024 / n }'
}
# A transcript replaced by a copy of itself: another file stands at its path, so the next pass
# is a full reload, and the figures stay as they were.
replace_one() {
  f=$(find "$1" -name '*.jsonl' -size +100k | head -1)
  cp -p "$f" "$f.vu-copy" && mv "$f.vu-copy" "$f"
}

watch_rss() { # ROOT OUT: starts a watch, prints its pid once the first report is out
  : >"$2"
  "$report" --watch --json --root "$1" >"$2" 2>/dev/null &
  echo $! >"$2.pid"
  lines "$2" 1
}

# The empty programs first.
watch_rss "$work/empty" "$work/w0"
p=$(cat "$work/w0.pid"); pids="$pids $p"
settle "$p"
watch_empty=$(rss "$p")
kill "$p"

have_app=0
if [ "${APP:-1}" = 1 ] && [ -x "$app" ] && command -v Xvfb >/dev/null && command -v trayer >/dev/null; then
  have_app=1
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
  pids="$pids $!"
  while [ ! -s "$work/display" ]; do sleep 0.1; done
  export DISPLAY=":$(cat "$work/display")"
  dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$work/bus" 4>"$work/buspid"
  pids="$pids $(cat "$work/buspid")"
  export DBUS_SESSION_BUS_ADDRESS=$(cat "$work/bus")
  trayer --edge top --align right --height 24 --widthtype request >/dev/null 2>&1 &
  pids="$pids $!"
  sleep 1 # trayer owns the tray selection before the application looks for it
  app_rss() { # ROOT: starts the application on ROOT, prints its pid once its scan is over
    rm -rf "$work/home/.varnel/projects" "$work/home/.config"
    ln -s "$1" "$work/home/.varnel/projects"
    HOME=$work/home XDG_CONFIG_HOME=$work/home/.config "$app" >/dev/null 2>&1 &
    echo $! >"$work/app.pid"
    settle "$!"
  }
  app_rss "$work/empty"
  p=$(cat "$work/app.pid"); pids="$pids $p"
  app_empty=$(rss "$p")
  kill "$p"; wait "$p" 2>/dev/null || true
fi

echo "empty programs: watch $(awk -v a="$watch_empty" 'BEGIN { printf "%.1f", a / 1024 }') MiB" \
  "$([ $have_app = 1 ] && awk -v a="$app_empty" 'BEGIN { printf "app %.1f MiB", a / 1024 }')"

for tree in "$@"; do
  replies=$("$report" --json --root "$tree" | grep -o '"entries": [0-9]*' | grep -o '[0-9]*$')
  echo "== $tree: $replies replies"

  watch_rss "$tree" "$work/w1"
  p=$(cat "$work/w1.pid"); pids="$pids $p"
  settle "$p"
  echo "watch: first scan $(per_reply "$(rss "$p")" "$watch_empty" "$replies")"
  figures() { sed 's/, "lastUpdated": "[^"]*"//' "$@"; }
  first=$(head -1 "$work/w1" | figures)
  for i in 1 2 3; do
    n=$(wc -l <"$work/w1")
    replace_one "$tree"
    lines "$work/w1" $((n + 1))
    settle "$p"
    echo "watch: after reload $i $(per_reply "$(rss "$p")" "$watch_empty" "$replies")"
  done
  [ "$(tail -1 "$work/w1" | figures)" = "$first" ] && echo "watch: figures unchanged across reloads" ||
    echo "watch: figures changed across reloads!"
  kill "$p"

  if [ $have_app = 1 ]; then
    app_rss "$tree"
    p=$(cat "$work/app.pid"); pids="$pids $p"
    echo "app: first scan $(per_reply "$(rss "$p")" "$app_empty" "$replies")"
    replace_one "$tree"
    settle "$p"
    echo "app: after reload $(per_reply "$(rss "$p")" "$app_empty" "$replies")"
    kill "$p"; wait "$p" 2>/dev/null || true
  fi

  peaks=""
  for i in $(seq "$runs"); do
    peaks="$peaks $(/usr/bin/time -f %M "$report" --json --root "$tree" 2>&1 >/dev/null)"
  done
  echo "$peaks" | awk '{ lo = hi = $1; for (i = 2; i <= NF; i++) { if ($i < lo) lo = $i; if ($i > hi) hi = $i }
    printf "report peak over %d runs: %.1f–%.1f MiB (spread %.1f %%)\n", NF, lo / 1024, hi / 1024, (hi - lo) * 100 / lo }'

  find "$tree" -name '*.jsonl' >"$work/files"
  best() { # COMMAND...: the best wall and CPU seconds of three runs
    for i in 1 2 3; do /usr/bin/time -f "%e %U %S" "$@" 2>&1 >/dev/null | tail -1; done |
      awk '{ c = $2 + $3; if (NR == 1 || $1 < w) w = $1; if (NR == 1 || c < u) u = c } END { print w, u }'
  }
  scan=$(best "$report" --json --root "$tree")
  wcl=$(best sh -c "xargs -d '\n' wc -l <'$work/files'")
  echo "$scan $wcl" | awk '{ printf "first scan %.2f s wall, %.2f s CPU; wc -l %.2f s, %.2f s: %.2f× wall, %.2f× CPU\n", $1, $2, $3, $4, $1 / $3, $2 / $4 }'
done
