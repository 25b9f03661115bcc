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
wine "$setup_program" >"$work/setup.out" 2>&1 &
app_pid=$!
find_installer_window
darkest() {
  convert "$shot" -crop "$1x$2+$((X + $3))+$((Y + $4))" +repage -colorspace Gray \
    -format "%[fx:minima]" info:
}
expect_background
# The text follows the background, later on a slow machine.
for _ in $(seq 100); do
  awk "BEGIN { exit !($(darkest 400 17 10 50) < 0.3) }" && break
  sleep 0.1
  import -window root "$shot"
done
awk "BEGIN { exit !($(darkest 400 17 10 50) < 0.3) }" || fail "no text on line 2"
press_and_expect_exit Escape 10
echo "PASS"
