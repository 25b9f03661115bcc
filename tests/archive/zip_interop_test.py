#!/usr/bin/env python3
"""ZIP files of velmora-pack as common tools see them: unzip, zipinfo, Python's
zipfile, 7-Zip and bsdtar (libarchive); and the codec test commands PC then PB
from the outside.

With --zip64: a file beyond 4 GiB (sparse) and a tree of 65,536 files, whose
ZIP files need Zip64 records.

Usage: zip_interop_test.py PATH/TO/velmora-pack [--zip64]
"""
import calendar
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

pack = os.path.abspath(sys.argv[1])
passed = failed = 0


def check(name, condition, detail=""):
    global passed, failed
    if condition:
        passed += 1
    else:
        failed += 1
        print(f"FAIL {name} {detail}")


def run(*args, cwd=None, env=None):
    return subprocess.run(args, cwd=cwd, env=env, capture_output=True, text=True,
                          errors="replace")


def made_on_unix(what, z):
    """Every entry is made by host Unix, a regular file of mode 0644."""
    odd = [(i.filename, i.create_system, oct(i.external_attr >> 16)) for i in z.infolist()
           if i.create_system != 3 or i.external_attr >> 16 != 0o100644]
    check(f"made by Unix, mode 0644: {what}", not odd, str(odd[:5]))


def zip64_cases(work):
    """ZIP files that need Zip64 records pass every reader's full test."""
    big = os.path.join(work, "big")
    many = os.path.join(work, "many")
    os.makedirs(big)
    os.makedirs(many)
    with open(os.path.join(big, "HUGE.BIN"), "wb") as f:
        f.truncate((1 << 32) + 1)  # sparse: no disk, 4 GiB and one byte
    with open(os.path.join(big, "TAIL.TXT"), "wb") as f:
        f.write(b"after the big one")
    for i in range(65536):
        open(os.path.join(many, "F%05d" % i), "wb").close()
    cases = [("a file beyond 4 GiB", big, {"HUGE.BIN": (1 << 32) + 1, "TAIL.TXT": 17}),
             ("65536 entries", many, None)]
    for what, tree, sizes in cases:
        out = tree + ".zip"
        r = run(pack, "zip", "--quiet", "-o", out, tree)
        check(f"zip of {what}", r.returncode == 0, r.stderr)
        # The readers run side by side: each decodes everything.
        readers = {
            "unzip -t": subprocess.Popen(["unzip", "-tq", out], stdout=subprocess.PIPE,
                                         stderr=subprocess.STDOUT, text=True),
            "7z t": subprocess.Popen(["7z", "t", out], stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, text=True),
        }
        with zipfile.ZipFile(out) as z:
            infos = z.infolist()
            if sizes is None:
                check(f"python count {what}", len(infos) == 65536, str(len(infos)))
            else:
                got = {i.filename: i.file_size for i in infos}
                check(f"python sizes {what}", got == sizes, str(got))
            check(f"python testzip {what}", z.testzip() is None)
            made_on_unix(what, z)
        for name, proc in readers.items():
            output = proc.communicate()[0]
            ok = "No errors detected" in output if name == "unzip -t" else "Everything is Ok" in output
            check(f"{name} {what}", proc.returncode == 0 and ok, output[-400:])


def common_cases(work):
    """The ZIP file of an ordinary tree, an empty tree, and the codec commands."""
    kit = os.path.join(work, "kit")
    rng = random.Random(1)
    files = {
        "readme.txt": b"Velmora\r\n",
        "empty.dat": b"",
        "HELP/index.hlp": b"help " * 1000,
        "HELP/DEEP/big.bin": bytes(rng.getrandbits(8) for _ in range(100000)),
        "Kärnan/blåbär.txt": "smultron och blåbär".encode(),
        "Été/Ünïcode Ø.txt": b"names",
        "Åsa Ö/smörgås.txt": b"sill",
    }
    for name, data in files.items():
        path = os.path.join(kit, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    os.makedirs(os.path.join(kit, "nothing-inside"))
    # An odd second, to see the DOS two-second rounding.
    stamp = time.mktime((2022, 3, 4, 5, 6, 7, 0, 0, -1))
    os.utime(os.path.join(kit, "readme.txt"), (stamp, stamp))

    out = os.path.join(work, "kit.zip")
    r = run(pack, "zip", "--quiet", "-o", out, kit)
    check("zip command", r.returncode == 0, r.stderr)

    r = run("unzip", "-t", out)
    check("unzip -t", r.returncode == 0 and "No errors detected" in r.stdout, r.stdout)
    r = run("zipinfo", out)
    check("zipinfo", r.returncode == 0 and "7 files" in r.stdout, r.stdout)
    r = run("7z", "t", out)
    check("7z t", r.returncode == 0 and "Everything is Ok" in r.stdout, r.stdout)

    with zipfile.ZipFile(out) as z:
        check("python testzip", z.testzip() is None)
        expected = {name.upper() for name in files}
        names = set(z.namelist())
        check("python names", names == expected, f"{sorted(names)} != {sorted(expected)}")
        for info in z.infolist():
            original = next(n for n in files if n.upper() == info.filename)
            check(f"content {info.filename}", z.read(info) == files[original])
            check(f"deflated {info.filename}", info.compress_type == zipfile.ZIP_DEFLATED)
            mtime = os.path.getmtime(os.path.join(kit, original))
            local = time.localtime(mtime)
            want = (local.tm_year, local.tm_mon, local.tm_mday, local.tm_hour, local.tm_min,
                    local.tm_sec // 2 * 2)
            check(f"date {info.filename}", info.date_time == want, f"{info.date_time} != {want}")
        made_on_unix("kit", z)

    # Every tool extracts the names as stored (UTF-8, in capitals; Info-ZIP
    # unzip read an entry made by MS-DOS as code page 437 despite the UTF-8
    # flag) and the files readable.
    extractors = {
        "unzip": ["unzip", "-q", out],
        "7z x": ["7z", "x", "-y", out],
        "bsdtar": ["bsdtar", "-xf", out],
        "python": [sys.executable, "-m", "zipfile", "-e", out, "."],
    }
    for tool, command in extractors.items():
        into = os.path.join(work, "by " + tool)
        os.makedirs(into)
        r = run(*command, cwd=into)
        check(f"{tool} extracts", r.returncode == 0, r.stdout + r.stderr)
        got = {}
        for root, _, names in os.walk(into):
            for name in names:
                path = os.path.join(root, name)
                readable = os.stat(path).st_mode & 0o444 == 0o444  # root reads mode 0 too
                with open(path, "rb") as f:
                    got[os.path.relpath(path, into)] = readable and f.read()
        want = {name.upper(): data for name, data in files.items()}
        check(f"{tool} names and contents", got == want,
              f"{sorted(got)} != {sorted(want)}")

    # SOURCE_DATE_EPOCH: dates in UTC, none later than it, so the ZIP file is
    # the same in every time zone.
    epoch = calendar.timegm((2023, 6, 1, 12, 0, 1))
    for zone in ("UTC", "Asia/Tokyo"):
        env = dict(os.environ, TZ=zone, SOURCE_DATE_EPOCH=str(epoch))
        r = run(pack, "zip", "--quiet", "-o", os.path.join(work, zone.replace("/", "_") + ".zip"),
                kit, env=env)
        check(f"zip with SOURCE_DATE_EPOCH in {zone}", r.returncode == 0, r.stderr)
    with open(os.path.join(work, "UTC.zip"), "rb") as a, \
            open(os.path.join(work, "Asia_Tokyo.zip"), "rb") as b:
        check("same ZIP file in every time zone", a.read() == b.read())
    with zipfile.ZipFile(os.path.join(work, "UTC.zip")) as z:
        for info in z.infolist():
            original = next(n for n in files if n.upper() == info.filename)
            mtime = min(os.path.getmtime(os.path.join(kit, original)), epoch)
            want = time.gmtime(mtime)[:5] + (time.gmtime(mtime).tm_sec // 2 * 2,)
            check(f"UTC date {info.filename}", info.date_time == want,
                  f"{info.date_time} != {want}")
        newer = z.getinfo("EMPTY.DAT").date_time
        check("newer file dated SOURCE_DATE_EPOCH", newer == (2023, 6, 1, 12, 0, 0), str(newer))
    for bad in ("", "12x", "-5", " 5", "1e9", "99999999999999999999"):
        env = dict(os.environ, SOURCE_DATE_EPOCH=bad)
        r = run(pack, "zip", "--quiet", "-o", os.path.join(work, "bad.zip"), kit, env=env)
        check(f"SOURCE_DATE_EPOCH={bad!r} refused", r.returncode == 2 and
              "SOURCE_DATE_EPOCH" in r.stderr and not os.path.exists(os.path.join(work, "bad.zip")),
              f"{r.returncode} {r.stderr}")

    # An empty tree: a valid empty ZIP file.
    empty = os.path.join(work, "empty")
    os.makedirs(os.path.join(empty, "sub"))
    r = run(pack, "zip", "--quiet", "-o", os.path.join(work, "empty.zip"), empty)
    check("empty zip command", r.returncode == 0, r.stderr)
    with zipfile.ZipFile(os.path.join(work, "empty.zip")) as z:
        check("empty zip has no entries", z.namelist() == [])
    r = run("unzip", "-t", os.path.join(work, "empty.zip"))
    check("unzip accepts the empty zip", "zipfile is empty" in r.stdout + r.stderr, r.stdout)

    # PC then PB in the working directory.
    codec = os.path.join(work, "codec")
    os.makedirs(codec)
    for n in (0, 5, 32000):
        data = bytes(rng.getrandbits(8) for _ in range(n))
        original = struct.pack("<I", n) + data
        with open(os.path.join(codec, "ZIPORG.TXT"), "wb") as f:
            f.write(original)
        pc = run(pack, "engine", "x", "x", "PC", cwd=codec)
        pb = run(pack, "engine", "x", "x", "PB", cwd=codec)
        check(f"PC {n}", pc.returncode == 0 and pc.stdout == "    0\n", pc.stdout + pc.stderr)
        check(f"PB {n}", pb.returncode == 0 and pb.stdout == "    0\n", pb.stdout + pb.stderr)
        with open(os.path.join(codec, "ZIPUT.TXT"), "rb") as f:
            check(f"round trip {n}", f.read() == original)


work = tempfile.mkdtemp()
try:
    os.environ["VELMORA_DRIVES"] = f"C={work}"
    if "--zip64" in sys.argv[2:]:
        zip64_cases(work)
    else:
        common_cases(work)
finally:
    shutil.rmtree(work)

print(f"zip interop: {passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
