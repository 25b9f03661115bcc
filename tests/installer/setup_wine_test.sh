#!/usr/bin/env bash
# A whole installation by the Windows programs under Wine on a virtual X
# server: velmora-pack.exe builds an installer of a kit around velmora-setup.exe,
# osslsigncode signs it with a certificate made for the test, the installer's
# window shows its background, Enter (sent with xdotool to the focused window)
# installs; the tree in the prefix's drive_c, the completion record and the
# launch of the kit's QXW32.EXE are checked. Wine runs in the locale
# ru_RU.UTF-8, so its ANSI code page is 1251, not Windows-1252: a name with Ö
# must still be installed as Ö, and the installer lies in a directory with
# Cyrillic letters, which it must still open.
#
# Usage: setup_wine_test.sh VELMORA-PACK.EXE VELMORA-SETUP.EXE QXW32-PROBE.EXE
# Exits 77 (skipped) without wine, Xvfb, xdotool, ImageMagick, openssl,
# osslsigncode or the locale.
set -euo pipefail
pack=$1
setup=$2
probe=$3
work=$(mktemp -d)
. "$(dirname "$0")/../support/wine_display.sh"
require_tools wine winepath Xvfb xdotool import convert openssl osslsigncode iconv
locale -a | grep -qix 'ru_RU.utf-\?8' ||
  { echo "skipped: no locale ru_RU.UTF-8 (scripts/setup makes it)"; rm -rf "$work"; exit 77; }
export LC_ALL=ru_RU.UTF-8
start_wine_display
drive_c="$WINEPREFIX/drive_c"

# The kit, and the installer velmora-pack.exe builds of it in C:\.
mkdir -p "$work/kit/VV" "$work/kit/HELP" "$work/kit/KOK"
cp "$probe" "$work/kit/QXW32.EXE"
printf 'settings\r\n' >"$work/kit/VV/SETTINGS.INI"
head -c 60000 /dev/urandom >"$work/kit/HELP/DATA.BIN"
printf 'butter\r\n' >"$work/kit/KOK/SMOR.TXT"
kit=$(winepath -w "$work/kit")
stub=$(winepath -w "$setup")
wine "$pack" build --quiet --stub "$stub" --stem QXW0001 -o 'C:\SETUP.EXE' "$kit" \
  >"$work/pack.out" 2>&1 || fail "velmora-pack.exe build: $(cat "$work/pack.out")"
[ -f "$drive_c/SETUP.EXE" ] || fail "no installer: $(cat "$work/pack.out")"
# Wine keeps a short name for every name beyond ASCII, which a Windows build
# stores; KOK\SMOR.TXT becomes KÖK\SMÖR.TXT (Windows-1252) in the archive here.
perl -0777 -pi -e 's/\\KOK\\SMOR\.TXT/\\K\xD6K\\SM\xD6R.TXT/' "$drive_c/SETUP.EXE"

# Signed as a publisher signs it: a key and a self-signed certificate, and
# osslsigncode appending the certificate table. The signature verifies, the
# table starts where the unsigned file ended (its length is a multiple of 8,
# so nothing was padded), and the archive is read in front of the table.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Velmora-test \
  -keyout "$work/key.pem" -out "$work/cert.pem" >"$work/sign.out" 2>&1 &&
  osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Velmora test" \
    -in "$drive_c/SETUP.EXE" -out "$work/signed.exe" >>"$work/sign.out" 2>&1 &&
  osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe" >>"$work/sign.out" 2>&1 ||
  fail "signing: $(cat "$work/sign.out")"
unsigned=$(stat -c %s "$drive_c/SETUP.EXE")
mv "$work/signed.exe" "$drive_c/SETUP.EXE"
wine "$pack" test 'C:\SETUP.EXE' >"$work/test.out" 2>&1 || fail "velmora-pack.exe test: $(cat "$work/test.out")"
wine "$pack" list 'C:\SETUP.EXE' >"$work/list.out" 2>&1 || fail "velmora-pack.exe list: $(cat "$work/list.out")"
grep -qF 'trailer: QXW0001\x00\x00\x00 (stem QXW0001)' "$work/list.out" &&
  grep -qE "certificate table: [0-9]+ bytes at offset $unsigned\b" "$work/list.out" ||
  fail "velmora-pack.exe list of the signed installer: $(cat "$work/list.out")"
mkdir "$drive_c/Загрузки"
mv "$drive_c/SETUP.EXE" "$drive_c/Загрузки/SETUP.EXE"

# Run it; wait for the window and its background.
(cd "$drive_c" && wine 'C:\Загрузки\SETUP.EXE' >"$work/setup.out" 2>&1) &
app_pid=$!
find_installer_window
expect_background

# Enter on the default button: Install.
press_and_expect_exit Return 30

target="$drive_c/QXW0001A"
cmp -s "$work/kit/HELP/DATA.BIN" "$target/HELP/DATA.BIN" || fail "HELP\\DATA.BIN not installed"
[ -f "$target/VV/SETTINGS.INI" ] || fail "VV\\SETTINGS.INI not installed"
[ -f "$target/KÖK/SMÖR.TXT" ] || fail "KÖK\\SMÖR.TXT not installed: $(ls "$target" "$target"/K*)"
[ "$(stat -c %s "$target/VV/QXNSSIN.TXT")" = 256 ] || fail "completion record is not 256 bytes"
# The installer's path as the ANSI calls give it, code page 1251 here.
printf '%s' 'C:\Загрузки\SETUP.EXE' | iconv -f UTF-8 -t CP1251 >"$work/record.want"
tr -d '\000' <"$target/VV/QXNSSIN.TXT" | cmp -s - "$work/record.want" ||
  fail "completion record holds $(tr -d '\000' <"$target/VV/QXNSSIN.TXT" | iconv -f CP1251)"
for _ in $(seq 100); do
  [ -f "$target/STARTED.TXT" ] && break
  sleep 0.1
done
[ -f "$target/STARTED.TXT" ] || fail "QXW32.EXE was not started"
grep -qi 'QXW0001A\\QXW32.EXE' "$target/STARTED.TXT" || fail "started as $(cat "$target/STARTED.TXT")"
echo "PASS"
