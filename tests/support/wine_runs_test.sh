#!/usr/bin/env bash
# The Windows programs really run under Wine: each prints what it should.
# Wine without its 32-bit half runs a 32-bit program as nothing and still
# exits 0, so exit codes alone prove nothing.
#
# Usage: wine_runs_test.sh VELMORA-PACK.EXE TEST-PROGRAM.EXE...
set -euo pipefail
pack=$1
shift
why="Wine ran it as nothing: for 32-bit programs, Wine's 32-bit half (Debian's"
why+=" wine32:i386, which scripts/setup installs) is missing or this kernel cannot"
why+=" run i386 code; a release target that is not run is not tested"

# Standard output alone: Wine's own messages (a new prefix, a program it
# cannot start) go to standard error.
version=$(wine "$pack" --version 2>/dev/null || true)
grep -q '^velmora-pack [0-9]' <<<"$version" ||
  { echo "FAIL: $pack --version printed '$version'. $why" >&2; exit 1; }
for program in "$@"; do
  listed=$(wine "$program" --gtest_list_tests 2>/dev/null | tr -d '\r' || true)
  # GoogleTest lists "Suite." lines, each followed by indented test names.
  grep -q '^[A-Za-z_][A-Za-z0-9_]*\.$' <<<"$listed" && grep -q '^  [A-Za-z_]' <<<"$listed" ||
    { echo "FAIL: $program listed no tests. $why" >&2; exit 1; }
done
echo "the Windows programs run under Wine (${WINEARCH:-win64} prefix)"
