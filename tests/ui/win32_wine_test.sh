#!/usr/bin/env bash
# The win32 window system under Wine on a virtual X server: the backend's own
# test program, then (when given) velmora-setup.exe itself: its window shows
# the installer's background and text, and Escape ends the program with 0.
#
# Usage: win32_wine_test.sh WIN32_WINDOW_SYSTEM_TEST.EXE [VELMORA-SETUP.EXE]
# Needs wine, Xvfb, xdotool and ImageMagick; exits 77 (skipped) without them.
# A 64-bit Wine runs only x86_64 programs: the i686 build is skipped too.
set -euo pipefail

test_program=$1
setup_program=${2:-}
work=$(mktemp -d)
. "$(dirname "$0")/../support/wine_display.sh"
require_tools wine Xvfb xdotool import convert
start_wine_display

if ! wine "$test_program" >"$work/out" 2>"$work/err"; then
  if grep -q "Bad EXE format\|could not be started" "$work/out" "$work/err"; then
    echo "skipped: this Wine cannot run $test_program"
    exit 77
  fi
  fail "$(cat "$work/out" "$work/err")"
fi
grep -q "all held" "$work/out" || fail "no verdict from the test program: $(cat "$work/out")"

[ -n "$setup_program" ] || { echo "PASS"; exit 0; }

# velmora-setup.exe without a payload: the window, its colours, and Escape.
# Without a window manager the X window Wine makes is the client area alone.
wine "$setup_program" >"$work/setup.out" 2>&1 &
app_pid=$!
window=$(timeout 60 xdotool search --sync --name "Velmora installation" | head -n1) ||
  fail "no window appeared: $(cat "$work/setup.out")"
eval "$(xdotool getwindowgeometry --shell "$window")" # X, Y, WIDTH, HEIGHT

shot="$work/shot.png"
pixel() {
  local x=$((X + $1)) y=$((Y + $2))
  convert "$shot" -format \
    "%[fx:int(255*p{$x,$y}.r+.5)],%[fx:int(255*p{$x,$y}.g+.5)],%[fx:int(255*p{$x,$y}.b+.5)]" info:
}
darkest() {
  convert "$shot" -crop "$1x$2+$((X + $3))+$((Y + $4))" +repage -colorspace Gray \
    -format "%[fx:minima]" info:
}
background="148,148,240" # "buttonface" of the default scheme
for _ in $(seq 100); do
  import -window root "$shot"
  [ "$(pixel 10 5)" = "$background" ] && break
  sleep 0.1
done
[ "$(pixel 10 5)" = "$background" ] || fail "background is $(pixel 10 5), not $background"
awk "BEGIN { exit !($(darkest 400 17 10 50) < 0.3) }" || fail "no text on line 2"

xdotool windowfocus --sync "$window" key Escape
for _ in $(seq 100); do
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$app_pid" 2>/dev/null && fail "still running 10 s after Escape"
status=0
wait "$app_pid" || status=$?
app_pid=
[ "$status" = 0 ] || fail "exit code $status: $(cat "$work/setup.out")"
echo "PASS"
