# Sourced by the tests that run Windows programs under Wine on a virtual X
# server. Needs $work (a private temporary directory) to be set. Provides:
#   fail MESSAGE...        print and exit 1
#   require_tools TOOL...  exit 77 (skipped) when one is missing
#   start_wine_display     Xvfb on a free display, a fresh Wine prefix in
#                          $work/prefix; exports DISPLAY, WINEPREFIX, WINEDEBUG
# and on exit stops $app_pid, Xvfb and the wine server and removes $work.

xvfb_pid=
app_pid=

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

require_tools() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; rm -rf "$work"; exit 77; }
  done
}

wine_display_cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
  rm -rf "$work"
}

start_wine_display() {
  trap wine_display_cleanup EXIT
  Xvfb -displayfd 9 -noreset -screen 0 800x600x24 -nolisten tcp 9>"$work/display" \
    2>"$work/xvfb.log" &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  [ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
  DISPLAY=":$(head -n1 "$work/display")"
  WINEPREFIX="$work/prefix"
  WINEDEBUG=-all
  export DISPLAY WINEPREFIX WINEDEBUG
  wineboot -i >/dev/null 2>&1 || true
}

# The installer's window: waits for it and sets window, X, Y, WIDTH, HEIGHT.
# Without a window manager the X window Wine makes is the client area alone.
find_installer_window() {
  window=$(timeout 60 xdotool search --sync --name "Velmora installation" | head -n1) ||
    fail "no window appeared: $(cat "$work/setup.out" 2>/dev/null)"
  eval "$(xdotool getwindowgeometry --shell "$window")"
}

# pixel DX DY: "r,g,b" of the last screenshot at the window's point (DX, DY).
shot="$work/shot.png"
pixel() {
  local x=$((X + $1)) y=$((Y + $2))
  convert "$shot" -format \
    "%[fx:int(255*p{$x,$y}.r+.5)],%[fx:int(255*p{$x,$y}.g+.5)],%[fx:int(255*p{$x,$y}.b+.5)]" info:
}

# Screenshots until the window shows the "buttonface" background of the
# default colour scheme, for at most ten seconds.
expect_background() {
  local background="148,148,240"
  for _ in $(seq 100); do
    import -window root "$shot"
    [ "$(pixel 10 5)" = "$background" ] && return 0
    sleep 0.1
  done
  fail "background is $(pixel 10 5), not $background"
}

# press_and_expect_exit KEY SECONDS: sends KEY to the focused window, then
# waits for $app_pid to end with exit code 0.
press_and_expect_exit() {
  xdotool windowfocus --sync "$window" key "$1"
  for _ in $(seq $(($2 * 10))); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$app_pid" 2>/dev/null && fail "still running $2 s after $1"
  local status=0
  wait "$app_pid" || status=$?
  app_pid=
  [ "$status" = 0 ] || fail "exit code $status: $(cat "$work/setup.out" 2>/dev/null)"
}
