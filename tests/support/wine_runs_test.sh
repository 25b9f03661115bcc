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

version=$(wine "$pack" --version 2>&1 || true)
[[ $version == velmora-pack* ]] || { echo "FAIL: $pack --version printed '$version'. $why" >&2; exit 1; }
for program in "$@"; do
  listed=$(wine "$program" --gtest_list_tests 2>&1 || true)
  [[ $listed == *.* ]] || { echo "FAIL: $program listed no tests. $why" >&2; exit 1; }
done
echo "the Windows programs run under Wine (${WINEARCH:-win64} prefix)"
