#!/usr/bin/env bash
# velmora-pack from the outside: commands, exit codes, messages, outputs.
# Usage: velmora_pack_test.sh [--wine] PATH/TO/velmora-pack
# With --wine the program is velmora-pack.exe, run under Wine in $WINEPREFIX
# with the work directory as a drive of its own; otherwise the work directory
# is drive C: through VELMORA_DRIVES. Exits 77 (skipped) under --wine without
# wine or a prefix.
set -u
under_wine=0
if [ "${1-}" = --wine ]; then
  under_wine=1
  shift
fi
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$(mktemp -d)
if [ "$under_wine" = 1 ]; then
  if ! command -v wine >/dev/null || [ ! -d "${WINEPREFIX-}/dosdevices" ]; then
    echo "skipped: no wine, or WINEPREFIX names no prefix"
    rm -rf "$work"
    exit 77
  fi
  # The last free letter: the unit tests running meanwhile take theirs from M: up.
  for letter in y x w v u t s r q; do
    [ -e "$WINEPREFIX/dosdevices/$letter:" ] || break
  done
  ln -s "$work" "$WINEPREFIX/dosdevices/$letter:"
  trap 'rm -f "$WINEPREFIX/dosdevices/$letter:"; rm -rf "$work"' EXIT
  drive=${letter^^}
  pack() { wine "$exe" "$@"; }
  # $work/kit/a.txt -> Y:\kit\a.txt
  host() {
    local rest=${1#"$work"}
    echo "$drive:${rest//\//\\}"
  }
else
  trap 'rm -rf "$work"' EXIT
  export VELMORA_DRIVES="C=$work"
  drive=C
  pack() { "$exe" "$@"; }
  host() { echo "$1"; }
fi
passed=0
failed=0

check() { # check NAME EXPECTED_EXIT COMMAND... ; output in $out
  local name=$1 want=$2
  shift 2
  out=$("$@" 2>"$work/stderr")
  local got=$?
  err=$(cat "$work/stderr")
  # Windows programs end their lines with CR LF.
  out=${out//$'\r'/}
  err=${err//$'\r'/}
  if [ "$got" -eq "$want" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL $name: exit $got, expected $want"
    echo "  stdout: $out"
    echo "  stderr: $err"
  fi
}

expect() { # expect NAME CONDITION-STRING
  if eval "$2"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL $1: $2"
    echo "  stdout: $out"
    echo "  stderr: $err"
  fi
}

mkdir -p "$work/kit/HELP" "$work/kit/.git"
printf 'hello\n' >"$work/kit/readme.txt"
head -c 70000 /dev/urandom >"$work/kit/HELP/big.bin"
printf 'x' >"$work/kit/.git/config"
printf 'STUB\0\0' >"$work/stub.exe"

# Usage and help.
check "no command" 2 pack
check "unknown command" 2 pack frobnicate
check "version" 0 pack --version
expect "version text" '[[ $out == "velmora-pack "* ]]'
for c in build extract list test zip engine; do
  check "$c --help" 0 pack "$c" --help
  expect "$c help text" '[[ $out == Usage:* ]]'
done
check "build unknown option" 2 pack build --frob "$(host "$work/kit")"
expect "usage message names the command" '[[ $err == *"velmora-pack build: unknown option"* ]]'
check "build without dir" 2 pack build
check "build bad stem" 2 pack build --stub "$(host "$work/stub.exe")" --stem ABC "$(host "$work/kit")"
check "build stem of dots" 2 pack build --stub "$(host "$work/stub.exe")" --stem ....... "$(host "$work/kit")"
check "engine PUA without trailer" 2 pack engine "$(host "$work/a.bin")" "$(host "$work/kit/***")" PUA --stub "$(host "$work/stub.exe")"
check "engine short trailer" 2 pack engine "$(host "$work/a.bin")" "$(host "$work/kit/***")" PUA --stub "$(host "$work/stub.exe")" --trailer 123
expect "nothing written on usage error" '[ ! -e "$work/a.bin" ]'

# Build, list, test, extract of a payload archive.
check "build payload" 0 pack build --quiet -o "$(host "$work/kit.bin")" "$(host "$work/kit")"
for bad in 0 x -1 3x 1025 99999999999999999999; do
  check "build --jobs $bad" 2 pack build --quiet --jobs "$bad" -o "$(host "$work/jobs.bin")" "$(host "$work/kit")"
done
expect "bad job count named" '[[ $err == *"--jobs takes a whole number from 1 to 1024"* ]] && [ ! -e "$work/jobs.bin" ]'
for n in 3 100; do
  check "build --jobs $n" 0 pack build --quiet --jobs $n -o "$(host "$work/jobs.bin")" "$(host "$work/kit")"
  expect "same archive on $n threads" 'cmp -s "$work/kit.bin" "$work/jobs.bin"'
done
# The same tree at another, longer path gives the same bytes: names are
# stored under S:\, not under the path of the tree.
mkdir -p "$work/elsewhere/much/deeper"
cp -a "$work/kit" "$work/elsewhere/much/deeper/kit"
check "build elsewhere" 0 pack build --quiet -o "$(host "$work/moved.bin")" "$(host "$work/elsewhere/much/deeper/kit")"
expect "same payload wherever the tree lies" 'cmp -s "$work/kit.bin" "$work/moved.bin"'
for where in kit elsewhere/much/deeper/kit; do
  check "build installer of $where" 0 pack build --quiet --stub "$(host "$work/stub.exe")" -o "$(host "$work/${where//\//_}.exe")" "$(host "$work/$where")"
done
expect "same installer wherever the tree lies" 'cmp -s "$work/kit.exe" "$work/elsewhere_much_deeper_kit.exe"'
check "extract the build" 0 pack extract --quiet "$(host "$work/kit.exe")" "$(host "$work/unmoved")"
check "extract the moved build" 0 pack extract --quiet "$(host "$work/elsewhere_much_deeper_kit.exe")" "$(host "$work/moved")"
expect "moved build extracts the same tree" 'cmp -s "$work/kit/HELP/big.bin" "$work/moved/HELP/BIG.BIN" && [ "$(cd "$work/moved" && find . | sort | tr "\n" " ")" = ". ./HELP ./HELP/BIG.BIN ./README.TXT " ] && diff -r "$work/unmoved" "$work/moved"'
check "list payload" 0 pack list "$(host "$work/kit.bin")"
expect "list names" '[[ $out == *"S:\\HELP\\BIG.BIN"* && $out == *"2 files, 70006 bytes"* && $out == *"strip length: 2"* ]]'
expect "dot directories left out" '[[ $out != *CONFIG* ]]'
check "test payload" 0 pack test "$(host "$work/kit.bin")"
check "extract payload" 0 pack extract --quiet "$(host "$work/kit.bin")" "$(host "$work/out")"
expect "extracted tree" 'cmp -s "$work/kit/HELP/big.bin" "$work/out/HELP/BIG.BIN" && [ -f "$work/out/README.TXT" ]'

# Conventions of every command, one case a line: the exit code, a pattern
# the standard output must match ("-": empty), and the arguments, @NAME standing for
# $work/NAME in the program's path form. Options stand anywhere after the
# command; -h, -q and --version work on every command.
while read -r want pattern line; do
  args=()
  for a in $line; do
    [[ $a == @* ]] && a=$(host "$work/${a#@}")
    [[ $a == -o@* ]] && a=-o$(host "$work/${a#-o@}")
    args+=("$a")
  done
  check "conventions: ${args[*]}" "$want" pack "${args[@]}"
  [ "$pattern" = - ] && pattern=""
  expect "conventions output: ${args[*]}" '[[ $out == $pattern ]]'
done <<'CASES'
0 Usage:*build*DIR*           build -h
0 Usage:*build*DIR*           build @kit --help -q
0 Usage:*list*                list @kit.bin -h
0 Usage:*test*                test --help
0 Usage:*zip*                 zip -h -o @x.zip
0 Usage:*engine*              engine X Y PI -h
0 Usage:*extract*             help extract
0 Usage:*Commands:*zip*help*  help
0 Usage:*Commands:*           help -h
0 Usage:*Commands:*           --help
0 velmora-pack?[0-9]*         build @kit --version
0 velmora-pack?[0-9]*         test @kit.bin --version
0 velmora-pack?[0-9]*         help --version
0 -                           build @kit -q -o @conv1.bin
0 -                           build -o @conv2.bin @kit --jobs 2 --quiet
0 -                           build --jobs=2 -o@conv3.bin -q -- @kit
0 *sound*                     test -q @kit.bin
0 *README.TXT*                list @kit.bin --quiet
0 -                           extract @kit.bin -q @conv-out
0 -                           extract -q -- @kit.bin @conv-out2
0 -                           zip @kit -q -o @conv.zip
2 -                           build @kit --quiet=yes
2 -                           build @kit -o
2 -                           list @kit.bin -x
2 -                           help frob
2 -                           help build list
2 -                           frob --help
2 -                           --frob
CASES
expect "same archive wherever the options stand" 'cmp -s "$work/kit.bin" "$work/conv1.bin" && cmp -s "$work/kit.bin" "$work/conv2.bin" && cmp -s "$work/kit.bin" "$work/conv3.bin"'
expect "extracted with options after the arguments" '[ -f "$work/conv-out/README.TXT" ] && [ -f "$work/conv-out2/README.TXT" ]'
for c in build extract list test zip engine help; do
  check "help $c" 0 pack help "$c"
  via_help=$out
  check "$c --help again" 0 pack "$c" --help
  expect "help $c is $c --help" '[ "$via_help" = "$out" ]'
done

# ZIP packaging.
check "zip without -o" 2 pack zip "$(host "$work/kit")"
check "zip" 0 pack zip --quiet -o "$(host "$work/kit.zip")" "$(host "$work/kit")"
expect "zip holds the tree" '[ "$(unzip -Z1 "$work/kit.zip" | sort | tr "\n" " ")" = "HELP/BIG.BIN README.TXT " ]'
check "zip into itself" 1 pack zip -o "$(host "$work/kit/k.zip")" "$(host "$work/kit")"
# With SOURCE_DATE_EPOCH dates are UTC times: the same ZIP file in every zone.
for zone in UTC Asia/Tokyo; do
  TZ=$zone SOURCE_DATE_EPOCH=1685620801 check "zip in $zone" 0 pack zip --quiet -o "$(host "$work/${zone//\//_}.zip")" "$(host "$work/kit")"
done
expect "same ZIP file in every time zone" 'cmp -s "$work/UTC.zip" "$work/Asia_Tokyo.zip"'
SOURCE_DATE_EPOCH=12x check "zip with a bad SOURCE_DATE_EPOCH" 2 pack zip --quiet -o "$(host "$work/bad.zip")" "$(host "$work/kit")"
expect "bad SOURCE_DATE_EPOCH named" '[[ $err == *"SOURCE_DATE_EPOCH must be a whole number"*"12x"* ]] && [ ! -e "$work/bad.zip" ]'

# An installer with stub and stem.
check "build installer" 0 pack build --quiet -o "$(host "$work/setup.exe")" --stub "$(host "$work/stub.exe")" --stem QXB1234 "$(host "$work/kit")"
expect "installer starts with the stub" '[ "$(head -c 4 "$work/setup.exe")" = STUB ]'
expect "installer ends with stem and three zero bytes" '[ "$(tail -c 10 "$work/setup.exe" | od -An -tx1 | tr -d " \n")" = "51584231323334000000" ]'
expect "installer executable as a linker writes programs, payload archive not" '[ "$under_wine" = 1 ] || [ "$(stat -c "%a" "$work/setup.exe" "$work/kit.bin" | tr "\n" " ")" = "$(printf "%o %o " $((0777 & ~$(umask))) $((0666 & ~$(umask))))" ]'
check "test installer" 0 pack test "$(host "$work/setup.exe")"
check "list installer" 0 pack list "$(host "$work/setup.exe")"
expect "list shows stub and total" '[[ $out == *"stub: 6 bytes"* && $out == *"archive total: 70012"* && $out == *"stem QXB1234"* ]]'

# The raw engine call.
check "engine PI" 0 pack engine "$(host "$work/setup.exe")" "$drive:\\RAW\\" PI
expect "engine prints the five status characters" '[ "$out" = "    0" ]'
expect "engine extracted" '[ -f "$work/RAW/README.TXT" ]'
check "engine PX" 104 pack engine "$(host "$work/setup.exe")" "$drive:\\RAW\\" PX
expect "engine status text" '[ "$out" = "  104" ]'
check "engine PUA" 0 pack engine "$(host "$work/e.exe")" "$(host "$work/kit/***")" PUA --stub "$(host "$work/stub.exe")" --trailer 0123456789
expect "engine PUA trailer" '[ "$(tail -c 10 "$work/e.exe")" = 0123456789 ]'
check "engine no marker" 120 pack engine "$(host "$work/stub.exe")" "$(host "$work/x/")" PJ
expect "engine 120 text" '[ "$out" = "  120" ]'

# Failures name the path and the reason.
check "extract missing" 1 pack extract "$(host "$work/none.exe")" "$(host "$work/o")"
expect "missing named" '[[ $err == *"none.exe: no such file"* ]]'
check "extract no marker" 1 pack extract "$(host "$work/stub.exe")" "$(host "$work/o")"
expect "no marker explained" '[[ $err == *"marker is missing"* ]]'
mkdir -p "$work/blocked/README.TXT"
check "extract blocked" 1 pack extract --quiet "$(host "$work/kit.bin")" "$(host "$work/blocked")"
expect "blocked file named" '[[ $err == *"blocked"?"README.TXT"* ]]'
if [ "$under_wine" = 0 ]; then
  # Wine shows host links as plain files; only POSIX sees them as links.
  mkdir -p "$work/linked" && printf 'kept' >"$work/elsewhere.txt"
  ln -s "$work/elsewhere.txt" "$work/linked/README.TXT"
  check "extract through a link" 1 pack extract --quiet "$(host "$work/kit.bin")" "$(host "$work/linked")"
  expect "link named, not followed" '[[ $err == *"README.TXT (is a symbolic link, not followed)"* ]] && [ "$(cat "$work/elsewhere.txt")" = kept ]'
fi
check "test damaged" 1 pack test "$(host "$work/stub.exe")"
# Problems name the stored file and the offset; the exact checks are the
# archive tests' (tests/archive/inspect_test.cpp).
head -c -20 "$work/kit.bin" >"$work/cut.bin"
check "test cut archive" 1 pack test "$(host "$work/cut.bin")"
expect "cut named with its offset" '[[ $out == "problem: S:\\"*" at offset "[0-9]*": damaged archive: it ends inside a file" ]]'
{ cat "$work/kit.bin"; printf 'X'; } >"$work/tail.bin"
check "test bytes behind the end" 1 pack test "$(host "$work/tail.bin")"
expect "bytes behind the end counted" '[[ $out == "problem: at offset $(($(wc -c <"$work/kit.bin"))): 1 bytes follow"* && $err == *"1 problem(s)"* ]]'
check "build into itself" 1 pack build -o "$(host "$work/kit/self.bin")" "$(host "$work/kit")"
check "build into itself, other case" 1 pack build -o "$(host "$work/KIT/self.bin")" "$(host "$work/kit")"
expect "nothing left in the tree" '[ -z "$(ls "$work/kit" | grep -i self)" ]'
cp "$work/stub.exe" "$work/own.exe"
check "build over its own stub" 1 pack build -o "$(host "$work/own.exe")" --stub "$(host "$work/own.exe")" "$(host "$work/kit")"
expect "stub kept" 'cmp -s "$work/stub.exe" "$work/own.exe"'
mkdir -p "$work/outdir/x"
check "build into an existing directory" 1 pack build -o "$(host "$work/outdir")" "$(host "$work/kit")"
expect "the real reason, directory kept" '[[ $err == *"outdir: is a directory; -o names the file to write"* ]] && [ -d "$work/outdir/x" ] && [ ! -e "$work/outdir.partial" ]'
if [ "$under_wine" = 0 ]; then
  # A link planted under the temporary name is removed, not written through.
  printf 'victim' >"$work/victim.txt"
  ln -s "$work/victim.txt" "$work/planted.bin.partial"
  check "build past a planted link" 0 pack build --quiet -o "$(host "$work/planted.bin")" "$(host "$work/kit")"
  expect "planted link not followed" '[ "$(cat "$work/victim.txt")" = victim ] && [ ! -L "$work/planted.bin" ]'
  # Paths on the command line are used as typed: code page 850 folding would
  # make Ô (Windows-1252 0xD4) the È of another directory.
  mkdir -p "$work/Ôdir" "$work/Èdir" && printf mine >"$work/Ôdir/mine.txt" && printf other >"$work/Èdir/other.txt"
  check "build of a directory folding would change" 0 pack build --quiet -o "$(host "$work/Ô.bin")" "$(host "$work/Ôdir")"
  check "extract into a directory folding would change" 0 pack extract --quiet "$(host "$work/Ô.bin")" "$(host "$work/Ôout")"
  expect "the directory typed, both ways" '[ "$(cat "$work/Ôout/MINE.TXT")" = mine ] && [ ! -e "$work/Èout" ]'
  check "test of a path folding would change" 0 pack test "$(host "$work/Ô.bin")"
  mkdir -p "$work/twins" && printf 1 >"$work/twins/a.txt" && printf 2 >"$work/twins/A.TXT"
  check "build of names equal but for case" 1 pack build --quiet -o "$(host "$work/twins.bin")" "$(host "$work/twins")"
  expect "the stored name named" '[[ $err == *"twins/A.TXT: two entries of one directory would get this one stored name"* ]]'
  # The output is renamed over OUT: a pipe or a device there is refused, never
  # replaced by a regular file.
  mkfifo "$work/pipe.bin"
  check "build over a pipe" 1 pack build --quiet -o "$(host "$work/pipe.bin")" "$(host "$work/kit")"
  expect "the pipe kept" '[ -p "$work/pipe.bin" ] && [ ! -e "$work/pipe.bin.partial" ] && [[ $err == *"pipe.bin: not a regular file"* ]]'
  check "zip over a pipe" 1 pack zip --quiet -o "$(host "$work/pipe.bin")" "$(host "$work/kit")"
  expect "the pipe kept by zip" '[ -p "$work/pipe.bin" ]'
fi
# All or nothing: a chunk damaged in the middle of 1,000 files leaves nothing,
# in a new directory and in an existing one (whose contents stay as they were).
mkdir -p "$work/many" && for i in $(seq 1000); do printf 'file %d\n' "$i" >"$work/many/f$i.txt"; done
seq 100000 >"$work/many/f500.txt"
check "build 1000 files" 0 pack build --quiet -o "$(host "$work/many.bin")" "$(host "$work/many")"
at=$(grep -abo F500.TXT "$work/many.bin" | head -1 | cut -d: -f1)
printf XXXXXXXX | dd of="$work/many.bin" bs=1 seek=$((at + 3000)) conv=notrunc status=none
check "extract damaged into a new dir" 1 pack extract --quiet "$(host "$work/many.bin")" "$(host "$work/fresh/sub")"
expect "nothing left, damaged file named" '[ ! -e "$work/fresh" ] && [ -z "$(ls -A "$work" | grep partial)" ] && [[ $err == *"F500.TXT at offset"* ]]'
mkdir -p "$work/prior" && printf keep >"$work/prior/F1.TXT"
check "extract damaged into an existing dir" 1 pack extract --quiet "$(host "$work/many.bin")" "$(host "$work/prior")"
expect "prior contents untouched, damaged file named" '[ "$(ls -A "$work/prior")" = F1.TXT ] && [ "$(cat "$work/prior/F1.TXT")" = keep ] && [[ $err == *"F500.TXT at offset"* ]]'
mkdir -p "$work/merge/help" && printf old >"$work/merge/readme.txt" && printf mine >"$work/merge/help/mine.txt"
check "extract into an existing dir" 0 pack extract --quiet "$(host "$work/kit.bin")" "$(host "$work/merge")"
expect "file replaced regardless of case, directory merged" '[ "$(cat "$work/merge/readme.txt")" = hello ] && [ -f "$work/merge/help/mine.txt" ] && cmp -s "$work/kit/HELP/big.bin" "$work/merge/help/BIG.BIN" && [ -z "$(ls -A "$work/merge" | grep partial)" ]'
# A move that fails midway (into an unwritable subdirectory of DIR) undoes
# the moves before it: the file replaced first is back, DIR as it was. Run as
# an ordinary user (root may write anywhere).
unprivileged=()
[ "$(id -u)" = 0 ] && command -v setpriv >/dev/null &&
  unprivileged=(setpriv --reuid=65534 --regid=65534 --clear-groups)
if [ "$under_wine" = 0 ] && { [ "$(id -u)" != 0 ] || [ ${#unprivileged[@]} != 0 ]; }; then
  mkdir -p "$work/undo-src/Z" "$work/undo/z" && printf new >"$work/undo-src/a.txt" && printf b >"$work/undo-src/Z/b.txt"
  printf old >"$work/undo/a.txt" && ln "$work/undo/a.txt" "$work/undo-link"
  check "build for the undo" 0 pack build --quiet -o "$(host "$work/undo.bin")" "$(host "$work/undo-src")"
  chmod 755 "$work" && chmod 555 "$work/undo/z"
  [ "$(id -u)" = 0 ] && chown -R 65534 "$work/undo"
  check "extract with a move that fails" 1 "${unprivileged[@]}" "$exe" extract --quiet "$work/undo.bin" "$work/undo"
  expect "moves undone, the file replaced back" '[ "$(cat "$work/undo/a.txt")" = old ] && [ "$(cat "$work/undo-link")" = old ] && [ "$(ls -A "$work/undo")" = "$(printf "a.txt\nz")" ] && [ -z "$(ls -A "$work/undo/z")" ] && [[ $err == *"z/B.TXT: cannot put it in place (permission denied); nothing was changed in"* ]]'
  chmod 755 "$work/undo/z"
fi
# Messages that say what happened.
check "list of a directory" 1 pack list "$(host "$work/kit")"
expect "said to be a directory" '[[ $err == *"kit: is a directory"* ]]'
check "list of a non-archive" 1 pack list "$(host "$work/stub.exe")"
expect "only the error" '[ -z "$out" ] && [[ $err == *"marker is missing"* ]]'
check "extract below a file" 1 pack extract --quiet "$(host "$work/kit.bin")" "$(host "$work/stub.exe/x")"
expect "not a directory, with the path" '[[ $err == *"stub.exe: not a directory"* ]]'
if [ "$under_wine" = 0 ]; then
  ln -s "$work/nowhere" "$work/dangling"
  check "extract into a dangling link" 1 pack extract --quiet "$(host "$work/kit.bin")" "$work/dangling"
  expect "said to lead nowhere, link kept" '[[ $err == *"dangling: a symbolic link that leads nowhere"* ]] && [ -L "$work/dangling" ] && [ -z "$(ls -A "$work" | grep partial)" ]'
fi
if [ "$under_wine" = 0 ] && [ "$(id -u)" != 0 ]; then
  mkdir -p "$work/ro" && chmod 555 "$work/ro"
  check "extract below an unwritable dir" 1 pack extract --quiet "$(host "$work/kit.bin")" "$(host "$work/ro/x")"
  expect "permission denied, with the path" '[[ $err == *"ro: cannot create"*"(permission denied)"* ]]'
  chmod 755 "$work/ro"
fi
long=$(printf 'a%.0s' {1..240})
check "extract into a path over the limit" 1 pack extract --quiet "$(host "$work/kit.bin")" "$(host "$work/$long")"
expect "path and limit named" '[[ $err == *"$long: in drive form"*"at most 250"* ]]'
# A new DIR that fits while a file's path in its temporary directory does not:
# the failure names the path the file was to have.
long=$(printf 'n%.0s' {1..221})
in_dir="$drive:\\$long\\"
check "extract with a file path over the limit" 1 pack extract --quiet "$(host "$work/kit.bin")" "$(host "$work/$long")"
expect "the path in DIR named, nothing left" '[[ $err == *"$in_dir"*"path too long"*"adds 24"* ]] && [[ $err != *partial* ]] && [ ! -e "$work/$long" ] && [ -z "$(ls -A "$work" | grep partial)" ]'
if [ "$under_wine" = 0 ]; then
  # "--" ends the options: a directory named like an option is packed.
  mkdir -p "$work/-q" && printf d >"$work/-q/d.txt"
  cd "$work"
  check "build of a directory named -q" 0 pack build -o dash.bin -- -q
  # A stub's name is a name; a file of that name is given as a path.
  cp "$work/stub.exe" "$work/win64"
  check "--stub ./win64 is a path" 0 pack build -q --stub ./win64 -o named.exe kit
  cd - >/dev/null
  expect "the file as the stub" '[ -f "$work/dash.bin" ] && [ "$(head -c 4 "$work/named.exe")" = STUB ]'
  # Named stubs: the build tree's, the installed ones, and one found nowhere.
  bin=$(dirname "$exe")
  # The Linux stub of a build tree is the one built beside the program, in
  # every Linux preset.
  if [ -f "$bin/../CMakeCache.txt" ] && [ -f "$bin/velmora-setup" ]; then
    # The stub must lie on a drive too: Z: is the whole file system.
    check "--stub linux from the build tree" 0 env VELMORA_DRIVES="C=$work;Z=/" "$exe" build -q --stub linux -o "$work/tree.exe" "$work/kit"
    expect "the built stub in front" 'cmp -s -n "$(stat -c %s "$bin/velmora-setup")" "$bin/velmora-setup" "$work/tree.exe"'
  fi
  if [ -f "$bin/../cmake_install.cmake" ] && command -v cmake >/dev/null; then
    check "cmake --install" 0 cmake --install "$bin/.." --prefix "$work/prefix"
    stub=$work/prefix/share/velmora/stubs/velmora-setup
    expect "program, stub and manual page installed" '[ -x "$work/prefix/bin/velmora-pack" ] && [ -x "$stub" ] && [ -f "$work/prefix/share/man/man1/velmora-pack.1" ]'
    check "--stub linux installed" 0 "$work/prefix/bin/velmora-pack" build -q --stub linux -o "$work/inst.exe" "$work/kit"
    expect "the installed stub in front" 'cmp -s -n "$(stat -c %s "$stub")" "$stub" "$work/inst.exe"'
    check "test of the installer" 0 "$work/prefix/bin/velmora-pack" test "$work/inst.exe"
    # The installed programs install the sample application, offscreen: the
    # installer, alone on its drive C:, unpacks the kit, writes the completion
    # record and starts the sample program, whose words reach this output.
    mkdir -p "$work/ic" && cp -R "$(dirname "$0")/../../examples/kit" "$work/sample"
    check "sample installer from the installed programs" 0 "$work/prefix/bin/velmora-pack" build -q --stub linux -o "$work/ic/SETUP.EXE" "$work/sample"
    printf 'key Return\n' >"$work/ic.script"
    check "the sample installed offscreen" 0 env VELMORA_DRIVES="C=$work/ic" VELMORA_UI=offscreen VELMORA_UI_SCRIPT="$work/ic.script" VELMORA_UI_TRACE="$work/ic.trace" VELMORA_PROFILE="$work/no-profile.ini" "$work/ic/SETUP.EXE"
    expect "the sample tree, record and program" 'cmp -s "$work/sample/HELP/INDEX.TXT" "$work/ic/QXA0000A/HELP/INDEX.TXT" && [[ $out == *"started from $work/ic/QXA0000A"*"installed by: C:\SETUP.EXE"* ]]'
  fi
  mkdir -p "$work/lone/bin" && cp "$exe" "$work/lone/bin/velmora-pack"
  check "a stub name found nowhere" 1 "$work/lone/bin/velmora-pack" build -q --stub win32 -o "$work/none.exe" "$work/kit"
  expect "where it looked named" '[[ $err == *"--stub win32: no such stub"*"$work/lone/share/velmora/stubs/velmora-setup-win32.exe"* ]] && [ ! -e "$work/none.exe" ]'
fi
check "build missing stub" 1 pack build -o "$(host "$work/s.exe")" --stub "$(host "$work/nostub.exe")" "$(host "$work/kit")"
expect "no output after failure" '[ ! -e "$work/s.exe" ] && [ ! -e "$work/s.exe.partial" ]'
printf 'precious' >"$work/keep.bin"
# 22 levels of 8.3 names of 12 characters (no short names of their own on any
# platform): the directory specs outgrow 255 characters.
deep="$work/deep/$(printf 'dddddddd.ddd/%.0s' {1..22})"
mkdir -p "$deep"
printf 'f' >"$deep/f.txt"
check "build over limits" 1 pack build --quiet -o "$(host "$work/keep.bin")" "$(host "$work/deep")"
expect "failed build keeps the old output" '[ "$(cat "$work/keep.bin")" = precious ]'

echo "velmora-pack: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
