# Sourced by the message box tests: starts an X server with no screen of its own, at the
# size given (e.g. 640x360), and points DISPLAY at it. The caller defines `fail` and `work`
# and kills "$xvfb_pid" when it is done.
start_virtual_display() {
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.err" &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  [ -s "$work/display" ] || fail "Xvfb did not start"
  export DISPLAY=:$(head -n1 "$work/display")
  unset WAYLAND_DISPLAY
}
