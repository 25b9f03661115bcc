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
