#!/usr/bin/env bash
# The shipped Windows programs of every Windows preset built beside this one:
# self-contained (they import only Windows' own DLLs: zlib, minizip and the
# compiler's runtime are linked in), of the right subsystem (the installer a
# GUI program, the packager a console program), and built for ASLR and DEP,
# since installers are run from download folders.
#
# Usage: windows_programs_test.sh BUILD-ROOT
# Exits 77 (skipped) when no Windows preset has been built or objdump is missing.
set -u
root=$1
objdump=$(command -v x86_64-w64-mingw32-objdump || command -v i686-w64-mingw32-objdump || true)
[ -n "$objdump" ] || { echo "skipped: no mingw-w64 objdump"; exit 77; }

allowed=" KERNEL32.dll USER32.dll GDI32.dll msvcrt.dll "
checked=0
failed=0
fail() {
  echo "FAIL $1: $2"
  failed=$((failed + 1))
}

for preset in win32 win64; do
  for program in velmora-setup velmora-pack; do
    exe="$root/$preset/bin/$program.exe"
    [ -f "$exe" ] || continue
    checked=$((checked + 1))
    headers=$("$objdump" -p "$exe") || { fail "$exe" "objdump cannot read it"; continue; }
    while read -r dll; do
      [[ $allowed == *" $dll "* ]] || fail "$exe" "imports $dll"
    done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
    want="(Windows CUI)"
    [ "$program" = velmora-setup ] && want="(Windows GUI)"
    grep -q "^Subsystem.*$want" <<<"$headers" || fail "$exe" "subsystem is not $want"
    for flag in DYNAMIC_BASE NX_COMPAT; do
      grep -q "^[[:space:]]*$flag\$" <<<"$headers" || fail "$exe" "not built with $flag"
    done
  done
done

[ "$checked" -gt 0 ] || { echo "skipped: no Windows programs under $root"; exit 77; }
echo "windows programs: $checked checked, $failed failures"
[ "$failed" -eq 0 ]
