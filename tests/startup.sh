#!/usr/bin/env bash
# Starts the real program under a virtual X server: command-line files,
# a refused second launch, a local client's message.
set -uo pipefail
rastova="$1" send="$2" sample="$3"

source "$(dirname "${BASH_SOURCE[0]}")/support.sh"

export HOME="$root/home" XDG_CONFIG_HOME="$root/config" TMPDIR="$root/tmp" XDG_RUNTIME_DIR="$root/runtime"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$TMPDIR" "$XDG_RUNTIME_DIR" "$root/work/logs"
chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM
export RASTOVA_UPDATE_URL="http://127.0.0.1:9/update.json"
cd "$root/work"

Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$root/display" 2>/dev/null &
pids+=($!)
waitFor 20 test -s "$root/display" || fail "Xvfb did not start"
export DISPLAY=":$(cat "$root/display")"
openbox >/dev/null 2>&1 &
pids+=($!)

"$sample" scene.tif || fail "sample generator failed"
"$sample" other.tif

"$rastova" scene.tif missing.tif >"$root/first.out" 2>&1 &
first=$!
pids+=($first)
waitFor 60 test -S "$TMPDIR/Rastova" || fail "the first copy never listened"
currentLog() { ls logs/*.log | grep -v -- '-2025_' | head -1; }
# No Rastova.env here, so start-up always logs that much.
logReady() { grep -qs "Cannot open environment setting file" "$(currentLog)"; }
waitFor 30 logReady || fail "no log file for this run"
log="$(currentLog)"

# The scene named on the command line is drawn: the middle of the screen is no flat white.
canvasDrawn() {
  import -window root "$root/screen.png" 2>/dev/null || return 1
  local spread
  spread=$(convert "$root/screen.png" -gravity center -crop 300x200+0+0 -colorspace Gray -format '%[fx:standard_deviation]' info:)
  awk -v s="$spread" 'BEGIN { exit !(s > 0.05) }'
}
waitFor 30 canvasDrawn || fail "the scene named on the command line was not drawn"

"$rastova" other.tif >"$root/second.out" 2>&1 &
second=$!
pids+=($second)
# A window of another client that closes while xdotool walks the tree makes one search fail; the next one is fine.
noticeShown() { notice="$(xdotool search --onlyvisible --pid "$second" 2>/dev/null | head -1)"; [ -n "$notice" ]; }
waitFor 30 noticeShown || fail "the second launch showed no notice"
# Keep answering until the notice is gone: the window manager may still be starting.
for _ in $(seq 40); do
  kill -0 "$second" 2>/dev/null || break
  xdotool windowactivate --sync "$notice" key Return 2>/dev/null || xdotool key --window "$notice" Return 2>/dev/null
  sleep 0.5
done
kill -0 "$second" 2>/dev/null && fail "the second launch did not exit after its notice"
wait "$second"
status=$?
[ "$status" -eq 0 ] || fail "the second launch exited with $status"
grep -q "other.tif" "$log" && fail "the second launch handed its file to the first"

"$send" "@Rastova $PWD/other.tif" || fail "a local client could not reach the running copy"
waitFor 20 grep -q "Server after commit: \"@Rastova $PWD/other.tif\"" "$log" || fail "the message never arrived"
kill -0 "$first" || fail "the first copy died"

echo "startup: 1 passed, 0 failed"
