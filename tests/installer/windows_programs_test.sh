#!/usr/bin/env bash
# The shipped Windows programs of every Windows preset built beside this one:
# self-contained (they import only Windows' own DLLs: zlib, minizip and the
# compiler's runtime are linked in), of the right subsystem (the installer a
# GUI program, the packager a console program), built for ASLR and DEP,
# since installers are run from download folders, and carrying the application
# manifest (asInvoker, so that Windows does not ask to elevate a program named
# setup.exe, and the supported Windows versions), read back from the resources.
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

# The manifest resource of a PE file (type 24 RT_MANIFEST, id 1, the first
# language), found through the resource directory and the section table.
manifest() {
  python3 - "$1" <<'EOF'
import struct, sys
data = open(sys.argv[1], 'rb').read()
pe = struct.unpack_from('<I', data, 0x3C)[0]
sections, = struct.unpack_from('<H', data, pe + 6)
optional_size, = struct.unpack_from('<H', data, pe + 20)
optional = pe + 24
magic, = struct.unpack_from('<H', data, optional)
directories = optional + (96 if magic == 0x10B else 112)
resources_rva, _ = struct.unpack_from('<II', data, directories + 2 * 8)
section_table = optional + optional_size
if resources_rva == 0:
    sys.exit('no resources')


def offset(rva):
    for i in range(sections):
        size, address, raw_size, raw = struct.unpack_from('<IIII', data, section_table + 40 * i + 8)
        if address <= rva < address + max(size, raw_size):
            return raw + rva - address
    sys.exit('address %#x lies in no section' % rva)


base = offset(resources_rva)


def entry(directory, wanted):
    """The entry of a resource directory with the numeric id wanted (None: the first)."""
    named, ids = struct.unpack_from('<HH', data, base + directory + 12)
    for i in range(named + ids):
        name, value = struct.unpack_from('<II', data, base + directory + 16 + 8 * i)
        if wanted is None or name == wanted:
            return value & 0x7FFFFFFF
    sys.exit('no resource entry %s' % wanted)


leaf = entry(entry(entry(0, 24), 1), None)
rva, size = struct.unpack_from('<II', data, base + leaf)
sys.stdout.write(data[offset(rva):offset(rva) + size].decode('utf-8'))
EOF
}
# Windows 7, 8, 8.1, and 10 and 11.
supported_os="35138b9a-5d96-4fbd-8e2d-a2440225f93a 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38
  1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"

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
    text=$(manifest "$exe" 2>&1) || { fail "$exe" "manifest: $text"; continue; }
    grep -q '<requestedExecutionLevel level="asInvoker"' <<<"$text" ||
      fail "$exe" "the manifest does not request asInvoker"
    for id in $supported_os; do
      grep -qi "<supportedOS Id=\"{$id}\"" <<<"$text" || fail "$exe" "the manifest lacks supportedOS $id"
    done
  done
done

[ "$checked" -gt 0 ] || { echo "skipped: no Windows programs under $root"; exit 77; }
echo "windows programs: $checked checked, $failed failures"
[ "$failed" -eq 0 ]
