#!/usr/bin/env bash
# Checks the built-in message box end to end: without a display it writes one line to standard
# error; in a virtual X display (Xvfb) it is a modal dialog that holds the call until the user
# closes it with Enter or Escape. Saves a screenshot of the dialog as message-box.png in the
# build folder.
# Usage: gtk_message_box_test.sh <probe-program> <build-dir>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/virtual_display.sh"
probe=$1
build=$2
work=$build/message-box-test
rm -rf "$work"
mkdir -p "$work"
expected='Blowfish, sEncrypt(-2147218103 - Call sInitBF before calling this sub)'
untouched=5A5A5A5A5A5A5A5A
title=$(basename "$probe")

fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.out "$work"/*.err; do
    [ -s "$f" ] && { echo "--- $f" >&2; cat "$f" >&2; }
  done
  exit 1
}

# Waits up to $2 seconds for a line matching the regular expression $1 in the probe's output.
wait_for_line() {
  local deadline=$((SECONDS + $2))
  until grep -qE "$1" "$out"; do
    [ $SECONDS -lt $deadline ] || fail "no line matching '$1' within $2 s"
    kill -0 "$probe_pid" 2>/dev/null || grep -qE "$1" "$out" ||
      fail "probe ended before printing '$1'"
    sleep 0.1
  done
}

# The n-th dialog's description (lines between its "dialog" and "end").
dialog_lines() {
  awk -v n="$1" '/^dialog$/ {k++; next} /^end$/ {if (k == n) exit} k == n' "$out"
}

# Starts the probe in mode $1 on the virtual display, its output in $work/$1.out and .err.
start_probe() {
  out=$work/$1.out
  "$probe" "$1" >"$out" 2>"$work/$1.err" &
  probe_pid=$!
}

# Waits for the probe to end successfully.
finish_probe() {
  wait "$probe_pid" || fail "probe exited with $?"
  probe_pid=
}

# Finds the n-th dialog on screen, checks what it holds and that the call is still waiting.
check_dialog() {
  local n=$1 text=$2
  local wid
  wid=$(timeout 20 xdotool search --sync --onlyvisible --name "^${title}\$" | head -n1) ||
    fail "dialog $n: no window titled '$title'"
  local deadline=$((SECONDS + 20))
  until [ "$(grep -c '^end$' "$out")" -ge "$n" ]; do
    [ $SECONDS -lt $deadline ] || fail "dialog $n: the probe did not describe it"
    sleep 0.1
  done
  local want
  want=$(printf '%s\n' "title=$title" "modal=1" "label=$text" "button=_OK" "images=0")
  [ "$(dialog_lines "$n")" = "$want" ] ||
    fail "dialog $n shows:"$'\n'"$(dialog_lines "$n")"$'\n'"expected:"$'\n'"$want"
  grep -q "^returned $n" "$out" && fail "call $n returned while its dialog is open"
  echo "$wid"
}

for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || fail "$tool is missing (tools/install-deps installs it)"
done

# 1. No display: the same program writes the line to standard error and never loads GTK.
env -u DISPLAY -u WAYLAND_DISPLAY "$probe" >"$work/plain.out" 2>"$work/plain.err" ||
  fail "probe failed without a display"
[ "$(cat "$work/plain.err")" = "$expected" ] || fail "standard error without a display"
[ "$(cat "$work/plain.out")" = $'calling 1\nreturned 1 '"$untouched"$'\ngtk-loaded no' ] ||
  fail "output without a display"
echo "no display: the line went to standard error"

# A display that cannot be opened: GTK is tried, and the line still goes to standard error.
env -u WAYLAND_DISPLAY DISPLAY=:65535 "$probe" >"$work/unreachable.out" 2>"$work/unreachable.err" ||
  fail "probe failed with a display it cannot open"
[ "$(cat "$work/unreachable.err")" = "$expected" ] || fail "standard error, display not opened"
grep -qx "returned 1 $untouched" "$work/unreachable.out" || fail "output, display not opened"
echo "display not opened: the line went to standard error"

# 2. A virtual display of our own, on a display number Xvfb picks as free.
xvfb_pid=
probe_pid=
cleanup() {
  [ -n "$probe_pid" ] && kill "$probe_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  true
}
trap cleanup EXIT
start_virtual_display 640x360
# Quiet GTK in a bare session: no accessibility bus, no settings daemon.
export NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory

start_probe desktop

wid=$(check_dialog 1 "$expected")
sleep 0.5  # let it paint, and give a call that wrongly returned time to show it
import -window root "$build/message-box.png" || fail "screenshot"
grep -q "^returned 1" "$out" && fail "call 1 returned while its dialog is open"
xdotool windowfocus --sync "$wid" key Return
wait_for_line "^returned 1 " 10
[ "$(grep '^returned 1 ' "$out")" = "returned 1 $untouched" ] ||
  fail "output changed"
echo "dialog 1: text checked, screenshot at $build/message-box.png, closed with Enter"

# Markup-like text is shown as it is, a byte that is not UTF-8 as U+FFFD; Escape closes it.
wid=$(check_dialog 2 $'Probe(1 - <b>not bold</b> & <i>not italic</i> \xEF\xBF\xBD)')
xdotool windowfocus --sync "$wid" key Escape
wait_for_line "^returned 2$" 10
echo "dialog 2: plain text checked, closed with Escape"

# A second thread must neither wait for GTK nor touch it: its message goes to standard error.
wait_for_line "^gtk-loaded yes$" 20
finish_probe
[ "$(grep '^thread returned' "$out")" = "thread returned $untouched" ] ||
  fail "the other thread's output"
grep -qxF "$expected" "$work/desktop.err" || fail "the other thread's message is not on stderr"
[ "$(grep -c 'Blowfish' "$work/desktop.err")" = 1 ] || fail "extra messages on stderr"
echo "other thread: the line went to standard error"

# 3. A GTK program: outside its main loop the message goes to standard error (the box cannot tell
# the program's GTK thread from any other there); from a callback inside the loop it is a dialog.
start_probe host
wait_for_line "^outside returned " 20
wid=$(check_dialog 1 "$expected")
xdotool windowfocus --sync "$wid" key Return
wait_for_line "^returned 1 " 10
finish_probe
[ "$(grep 'returned' "$out")" = "outside returned $untouched"$'\n'"returned 1 $untouched" ] ||
  fail "GTK program's outputs"
[ "$(cat "$work/host.err")" = "$expected" ] || fail "GTK program's standard error"
echo "GTK program: standard error outside its loop, a dialog inside it"
