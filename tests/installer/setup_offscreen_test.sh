#!/usr/bin/env bash
# velmora-setup from the outside, on the offscreen window system: installers
# built by velmora-pack, run with scripts, checked by their trace, the tree
# they install, the completion record and the launch.
# Usage: setup_offscreen_test.sh PATH/TO/velmora-pack PATH/TO/velmora-setup
set -u
pack=$1
setup=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

expect() { # expect NAME CONDITION
  if eval "$2"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL $1: $2"
    [ -f "$work/trace" ] && sed 's/^/  trace: /' "$work/trace"
    [ -f "$work/stderr" ] && sed 's/^/  stderr: /' "$work/stderr"
  fi
}

# A kit whose program leaves a note where it was started, and an installer.
mkdir -p "$work/kit/VV" "$work/kit/DATA" "$work/c"
printf '#!/bin/sh\ncd "$(dirname "$0")" && pwd > STARTED.TXT\n' >"$work/kit/QXW32.EXE"
printf 'settings\n' >"$work/kit/VV/SETTINGS.INI"
head -c 50000 /dev/urandom >"$work/kit/DATA/BLOB.BIN"
export VELMORA_DRIVES="C=$work/c;Z=/"
export VELMORA_PROFILE="$work/no-profile.ini"
"$pack" build --quiet --stub "$setup" --stem QXT0001 -o "$work/c/SETUP.EXE" "$work/kit" ||
  { echo "cannot build the installer"; exit 1; }
chmod +x "$work/c/SETUP.EXE"

run() { # run SCRIPT-LINES...: runs the installer; $code is its exit code
  printf '%s\n' "$@" >"$work/script"
  rm -f "$work/trace"
  VELMORA_UI=offscreen VELMORA_UI_SCRIPT="$work/script" VELMORA_UI_TRACE="$work/trace" \
    "$work/c/SETUP.EXE" 2>"$work/stderr"
  code=$?
}

wait_for() { # wait_for FILE: the launched program runs on its own
  for _ in $(seq 50); do [ -f "$1" ] && return 0; sleep 0.1; done
  return 1
}

# Enter on Install: the whole installation.
run "key Return"
expect "install exits 0" '[ $code -eq 0 ]'
target="$work/c/QXT0001A"
expect "tree installed" 'cmp -s "$work/kit/DATA/BLOB.BIN" "$target/DATA/BLOB.BIN" && [ -f "$target/VV/SETTINGS.INI" ]'
expect "record is 256 bytes" '[ "$(stat -c %s "$target/VV/QXNSSIN.TXT")" = 256 ]'
expect "record holds the own path" '[ "$(tr -d "\000" < "$target/VV/QXNSSIN.TXT")" = "C:\\SETUP.EXE" ]'
expect "program started in the target" 'wait_for "$target/STARTED.TXT" && [ "$(cat "$target/STARTED.TXT")" = "$target" ]'
expect "trace: proposal" 'grep -qF "\"text\":\"Ny katalog kommer att skapas:    C:\\\\QXT0001A\\\\\"" "$work/trace"'
expect "trace: Enter" 'grep -qxF "{\"event\":\"key\",\"code\":269}" "$work/trace"'
expect "trace: progress rises to 100" '[ "$(grep -o "pågår\.\.\. *[0-9]* %" "$work/trace" | tr -dc "0-9\n" | sort -n -c && echo ok)" = ok ] && [ "$(grep -c "pågår\.\.\. *[0-9]* %" "$work/trace")" -ge 3 ] && grep -qF " Installation pågår... 100 %               \"" "$work/trace"'
expect "trace: window destroyed last" '[ "$(tail -n 1 "$work/trace")" = "{\"event\":\"window\",\"op\":\"destroy\",\"title\":\"   Velmora installation\"}" ]'

# A second run proposes the next free name (a plain file has B); Escape
# cancels it.
touch "$work/c/QXT0001B"
run "key Escape"
rm "$work/c/QXT0001B"
expect "cancel exits 0" '[ $code -eq 0 ]'
expect "second run proposes C" 'grep -qF "C:\\\\QXT0001C\\\\" "$work/trace"'
expect "cancel creates nothing" '[ ! -e "$work/c/QXT0001C" ]'
expect "trace: Escape" 'grep -qxF "{\"event\":\"key\",\"code\":258}" "$work/trace"'

# Arrows move the default button; Enter on Avbryt cancels.
run "key Right" "key Return"
expect "focus moved to Avbryt" 'grep -qxF "{\"event\":\"default-button\",\"slot\":1}" "$work/trace"'
expect "Enter on Avbryt cancels" '[ ! -e "$work/c/QXT0001B" ] && [ $code -eq 0 ]'

# Close, characters and other keys change nothing; the script runs out.
run "close" "key Tab" "char 120" "quit"
expect "script used up: exit 3" '[ $code -eq 3 ]'
expect "trace ends with script-exhausted" '[ "$(tail -n 1 "$work/trace")" = "{\"event\":\"script-exhausted\"}" ]'
expect "close request queued 550" 'grep -qxF "{\"event\":\"key\",\"code\":550}" "$work/trace"'
expect "quit returned 999" 'grep -qxF "{\"event\":\"key\",\"code\":999}" "$work/trace"'
expect "nothing installed" '[ ! -e "$work/c/QXT0001B" ]'

# A damaged installer: what it extracted is removed again, the failure is
# told, and Avsluta (id 2) ends the run.
size=$(stat -c %s "$work/c/SETUP.EXE")
cp "$work/c/SETUP.EXE" "$work/c/BROKEN.EXE"
printf '\377\377\377\377' | dd of="$work/c/BROKEN.EXE" bs=1 seek=$((size - 3000)) conv=notrunc status=none
printf 'key Return\nclick 2\n' >"$work/script"
rm -f "$work/trace"
VELMORA_UI=offscreen VELMORA_UI_SCRIPT="$work/script" VELMORA_UI_TRACE="$work/trace" "$work/c/BROKEN.EXE" 2>"$work/stderr"
code=$?
expect "damaged installer exits 0 after Avsluta" '[ $code -eq 0 ] && grep -qxF "{\"event\":\"key\",\"code\":2}" "$work/trace"'
expect "damaged installer leaves nothing" '[ ! -e "$work/c/QXT0001B" ]'
expect "failure screen" 'grep -qF "Installationen misslyckades. Inget har installerats." "$work/trace" && grep -qF "Tryck på en tangent för att avsluta." "$work/trace" && grep -qF "\"op\":\"create\",\"id\":2,\"text\":\"Avsluta\"" "$work/trace"'

# The bare stub carries no payload: no room; Install does nothing there and
# Avbryt stays.
cp "$setup" "$work/c/BARE.EXE"
printf 'key Return\nclick 1\nclick 2\n' >"$work/script"
rm -f "$work/trace"
VELMORA_UI=offscreen VELMORA_UI_SCRIPT="$work/script" VELMORA_UI_TRACE="$work/trace" "$work/c/BARE.EXE" 2>"$work/stderr"
code=$?
expect "bare stub exits 0" '[ $code -eq 0 ]'
expect "bare stub shows no room" 'grep -qF "Diskutrymme saknas." "$work/trace" && grep -qF "Installationen kan ej utföras." "$work/trace"'
# A damaged trailer whose stem is no directory name ("AB" and zeros) offers
# no directory and makes nothing (no file C:\AB).
cp "$work/c/SETUP.EXE" "$work/c/STEM.EXE" && rm -f "$work/trace"
printf 'AB\0\0\0\0\0' | dd of="$work/c/STEM.EXE" bs=1 seek=$(($(stat -c %s "$work/c/STEM.EXE") - 10)) conv=notrunc status=none
VELMORA_UI=offscreen VELMORA_UI_SCRIPT="$work/script" VELMORA_UI_TRACE="$work/trace" "$work/c/STEM.EXE" 2>"$work/stderr"
expect "unusable stem offers no room" 'grep -qF "Diskutrymme saknas." "$work/trace" && [ ! -e "$work/c/AB" ]'

# An installer outside the drive map says so.
mkdir "$work/outside" && cp "$work/c/SETUP.EXE" "$work/outside/"
printf 'key Escape\n' >"$work/script"
VELMORA_UI=offscreen VELMORA_UI_SCRIPT="$work/script" VELMORA_DRIVES="C=$work/c" "$work/outside/SETUP.EXE" 2>"$work/stderr"
code=$?
expect "outside the map says so" '[ $code -eq 0 ] && [ "$(wc -l < "$work/stderr")" -eq 1 ] && grep -q "outside the drive map" "$work/stderr"'

# No display and no offscreen: exit 0 with one line saying why.
env -u DISPLAY -u WAYLAND_DISPLAY VELMORA_UI= "$work/c/SETUP.EXE" >/dev/null 2>"$work/stderr"
code=$?
expect "no display exits 0" '[ $code -eq 0 ]'
expect "no display says why" '[ "$(wc -l < "$work/stderr")" -eq 1 ] && grep -q "velmora-setup: cannot open a window" "$work/stderr"'
expect "no display installs nothing" '[ ! -e "$work/c/QXT0001B" ]'

echo "velmora-setup offscreen: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
