#!/usr/bin/env bash
# Checks the Windows message box end to end under Wine: without a display the line goes to
# standard error; in a virtual X display (Xvfb) MessageBoxW shows the exact text with only an
# OK button, titled with the program's name, and holds the call until Return closes it.
# Saves a screenshot as message-box-win.png in the build folder.
# Usage: message_box_win_test.sh <probe.exe> <build-dir>   (WINEPREFIX as tools/run-windows-tests)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/virtual_display.sh"
probe=$1
build=$2
work=$build/message-box-win-test
rm -rf "$work"
mkdir -p "$work"
expected='Blowfish, sEncrypt(-2147218103 - Call sInitBF before calling this sub)'
untouched=5A5A5A5A5A5A5A5A
title=$(basename "$probe" .exe)

fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.out "$work"/*.err; do
    [ -s "$f" ] && { echo "--- $f" >&2; cat "$f" >&2; }
  done
  exit 1
}

xvfb_pid=
probe_pid=
cleanup() {
  [ -n "$probe_pid" ] && kill "$probe_pid" 2>/dev/null
  wineserver -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  true
}
trap cleanup EXIT

# 1. No display: the line goes to standard error and the call returns at once.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
env -u DISPLAY -u WAYLAND_DISPLAY wine "$probe" >"$work/plain.out" 2>"$work/plain.err" ||
  fail "probe failed without a display"
grep -qxF "$expected" <(tr -d '\r' <"$work/plain.err") || fail "standard error without a display"
grep -qx "returned 1 $untouched" <(tr -d '\r' <"$work/plain.out") || fail "output without a display"
echo "no display: the line went to standard error"
# Wine keeps the display its session started with: end the headless session first.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true

# 2. A virtual display.
start_virtual_display 800x480

out=$work/desktop.out
wine "$probe" >"$out" 2>"$work/desktop.err" &
probe_pid=$!
wid=$(timeout 60 xdotool search --sync --onlyvisible --name "^${title}\$" | head -n1) ||
  fail "no window titled '$title'"
deadline=$((SECONDS + 20))
until grep -q '^end' "$out"; do
  [ $SECONDS -lt $deadline ] || fail "the probe did not describe the box"
  sleep 0.1
done
want=$(printf '%s\n' dialog "title=$title" "text=$expected" ok=1 cancel=0 icon=0 end)
got=$(tr -d '\r' <"$out" | sed -n '/^dialog$/,/^end$/p')
[ "$got" = "$want" ] || fail "the box shows:"$'\n'"$got"$'\n'"expected:"$'\n'"$want"
sleep 0.5  # let it paint, and give a call that wrongly returned time to show it
grep -q '^returned 1' "$out" && fail "the call returned while the box is open"
import -window root "$build/message-box-win.png" || fail "screenshot"
xdotool windowfocus --sync "$wid" key Return
wait "$probe_pid" || fail "probe exited with $?"
probe_pid=
[ "$(tr -d '\r' <"$out" | grep '^returned 1 ')" = "returned 1 $untouched" ] || fail "output changed"
[ -s "$work/desktop.err" ] && [ -n "$(tr -d '\r\n' <"$work/desktop.err")" ] &&
  fail "standard error while the box was shown"
echo "dialog: text, title and button checked, screenshot at $build/message-box-win.png, closed with Return"
