#!/usr/bin/env bash
# The FLTK window system on a virtual X server: the installer's window appears
# at its place and size with its background, text and buttons (the default one
# framed), is painted anew where the desktop uncovers it, sleeps while it
# waits, and a click, key presses and the close box come back from
# wait_for_key as the installer's key codes.
#
# Usage: fltk_xvfb_test.sh PATH/TO/fltk_window_test
# Needs Xvfb, setxkbmap and xkbcomp, xdotool, ImageMagick and python3 (with
# libX11); scripts/setup installs them.
set -euo pipefail

program=$1
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

for tool in Xvfb setxkbmap xkbcomp xdotool import convert python3; do
  command -v "$tool" >/dev/null || fail "$tool is missing (run scripts/setup)"
done

work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Without a display the window system says why and the program stops at once.
if env -u DISPLAY "$program" >/dev/null 2>"$work/err"; then
  fail "ran without a display"
fi
grep -q "no display" "$work/err" || fail "no reason given without a display: $(cat "$work/err")"

# A display of its own, on a number no other server holds: a server given a
# number takes its lock file or ends at once; -displayfd says when it is ready.
# -noreset keeps the server's state (the keyboard map) when its last client of
# the moment disconnects.
for _ in $(seq 20); do
  number=$((100 + RANDOM % 900))
  : >"$work/display"
  Xvfb ":$number" -displayfd 9 -noreset -screen 0 800x600x24 -nolisten tcp \
    9>"$work/display" 2>"$work/xvfb.log" &
  xvfb_pid=$!
  while kill -0 "$xvfb_pid" 2>/dev/null && [ ! -s "$work/display" ]; do
    sleep 0.05
  done
  [ -s "$work/display" ] && break
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=
done
[ -n "$xvfb_pid" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$number"

# A Swedish keyboard: ä has a key of its own. (For a character without one,
# xdotool maps a spare key just for the moment of its press, and the program
# can read the press after the mapping is gone.)
setxkbmap se
xkbcomp -xkb "$DISPLAY" "$work/map.xkb" 2>/dev/null || true
grep -q adiaeresis "$work/map.xkb" || fail "no Swedish keyboard map"

# The default colour scheme: an empty profile.
: >"$work/profile.ini"
VELMORA_PROFILE="$work/profile.ini" VELMORA_UI=fltk "$program" 7 >"$work/codes" 2>"$work/app.err" &
app_pid=$!

window=$(timeout 20 xdotool search --sync --name "Velmora installation") ||
  fail "no window appeared: $(cat "$work/app.err")"
window=${window%%$'\n'*}
eval "$(xdotool getwindowgeometry --shell "$window")" # X, Y, WIDTH, HEIGHT
[ "$WIDTH" = 434 ] && [ "$HEIGHT" = 141 ] ||
  fail "content is ${WIDTH}x$HEIGHT, not the client area 434x141"
[ "$X" = 100 ] && [ "$Y" = 100 ] || fail "window at $X,$Y, not at 100,100"

shot="$work/shot.png"
# The colour of the pixel at client position (x, y), as "r,g,b".
pixel() {
  local x=$((X + $1)) y=$((Y + $2))
  convert "$shot" -format \
    "%[fx:int(255*p{$x,$y}.r+.5)],%[fx:int(255*p{$x,$y}.g+.5)],%[fx:int(255*p{$x,$y}.b+.5)]" info:
}
# The darkest grey level (0 to 1) in a band of the client area.
darkest() {
  convert "$shot" -crop "$1x$2+$((X + $3))+$((Y + $4))" +repage -colorspace Gray \
    -format "%[fx:minima]" info:
}

# Exposure makes the installer repaint: wait until its background shows.
background="148,148,240" # "buttonface" of the default scheme
for _ in $(seq 100); do
  import -window root "$shot"
  [ "$(pixel 10 5)" = "$background" ] && break
  sleep 0.1
done
[ "$(pixel 10 5)" = "$background" ] || fail "background is $(pixel 10 5), not $background"
[ "$(pixel 420 130)" = "$background" ] || fail "lower right is $(pixel 420 130)"
# The first two lines hold dark text, the third is blank.
awk "BEGIN { exit !($(darkest 434 17 0 20) < 0.3) }" || fail "no text on line 1"
awk "BEGIN { exit !($(darkest 434 17 0 50) < 0.3) }" || fail "no text on line 2"
[ "$(darkest 434 17 0 80)" = "$(darkest 1 1 10 5)" ] || fail "line 3 is not blank"
# The buttons are drawn over the background; "Avbryt" (the default) is framed.
[ "$(pixel 175 115)" != "$background" ] || fail "no button Install"
[ "$(pixel 290 110)" = "0,0,0" ] || fail "Avbryt has no default frame: $(pixel 290 110)"
[ "$(pixel 170 110)" != "0,0,0" ] || fail "Install is framed although not the default"

# Waiting for a key takes no processor time.
ticks() { awk '{ print $14 + $15 }' "/proc/$app_pid/stat"; }
before=$(ticks)
sleep 1
after=$(ticks)
[ $((after - before)) -le 2 ] || fail "waiting used $((after - before)) clock ticks in 1 s"

# What the desktop uncovers the installer paints anew: FLTK redraws only the
# background and the buttons, the text comes from WM_PAINT. Uncovered once by
# moving the window mostly off the screen and back, once by hiding and showing
# it (as minimising and restoring do).
text_comes_back() {
  for _ in $(seq 50); do
    import -window root "$shot"
    awk "BEGIN { exit !($(darkest 434 17 0 20) < 0.3) }" && return 0
    sleep 0.1
  done
  fail "no text after the window $1"
}
xdotool windowmove --sync "$window" 700 100
xdotool windowmove --sync "$window" "$X" "$Y"
text_comes_back "was moved back"
xdotool windowunmap --sync "$window"
xdotool windowmap --sync "$window"
text_comes_back "was shown again"

# A click on "Välj skiva" (id 3), then keys in the focused window: Esc
# (accelerator 258), Ctrl+B (character 2), x (120), ä (228) and F5 (572).
xdotool mousemove --sync $((X + 100)) $((Y + 125)) click 1
xdotool windowfocus --sync "$window"
for key in Escape ctrl+b x adiaeresis F5; do
  xdotool key "$key"
done
# The close box: what a window manager sends for it (WM_DELETE_WINDOW), which
# the installer takes as the close request (550); the window stays.
python3 - "$window" <<'EOF_PYTHON'
import ctypes
import sys

x11 = ctypes.CDLL("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class Event(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]


x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                           ctypes.POINTER(Event)]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

display = x11.XOpenDisplay(None)
window = int(sys.argv[1])
event = Event()
event.xclient.type = 33  # ClientMessage
event.xclient.window = window
event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
event.xclient.format = 32
event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
x11.XFlush(display)
x11.XCloseDisplay(display)
EOF_PYTHON

# The program ends by itself after the seventh code.
running() { [ -e "/proc/$app_pid" ] && [ "$(awk '{ print $3 }' "/proc/$app_pid/stat" 2>/dev/null)" != Z ]; }
for _ in $(seq 100); do
  running || break
  sleep 0.1
done
running && fail "still running after 10 s; codes so far: $(tr '\n' ' ' <"$work/codes")"
status=0
wait "$app_pid" || status=$?
app_pid=
[ "$status" = 0 ] || fail "exit code $status: $(cat "$work/app.err")"
expected=$'3\n258\n2\n120\n228\n572\n550'
[ "$(cat "$work/codes")" = "$expected" ] ||
  fail "key codes $(tr '\n' ' ' <"$work/codes"), expected $(echo $expected)"
echo "PASS"
