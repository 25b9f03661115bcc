#!/usr/bin/env python3
"""The Windows resources as the program carries them: velmora-setup.rc written
by resources/make_rc.py, compiled by windres, read back from the compiled .res
and compared with what the rest of the build uses: the accelerator table
ui::zoracc as a C++ compiler sees it, the committed icon, the menu's Swedish
texts (a wrong code page turns them into other letters) and the data item.

Usage: resource_script_test.py SOURCE_DIR [WINDRES [CXX]]
  (defaults: x86_64-w64-mingw32-windres, c++). Exits 77 (skipped) when one of
  the two tools is not installed.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

source_dir = os.path.abspath(sys.argv[1])
windres = sys.argv[2] if len(sys.argv) > 2 else 'x86_64-w64-mingw32-windres'
cxx = sys.argv[3] if len(sys.argv) > 3 else 'c++'
make_rc = os.path.join(source_dir, 'resources', 'make_rc.py')
passed = failed = 0

RT_ICON, RT_MENU, RT_RCDATA, RT_ACCELERATOR, RT_GROUP_ICON = 3, 4, 10, 9, 14
LANG_ENGLISH_US = 0x0409


def check(name, condition, detail=''):
    global passed, failed
    if condition:
        passed += 1
    else:
        failed += 1
        print(f'FAIL {name} {detail}')


def run(*args):
    return subprocess.run(args, capture_output=True)


def read_id(data, at):
    """A resource type or name: 0xFFFF and a number, or a NUL-terminated UTF-16 string."""
    (first,) = struct.unpack_from('<H', data, at)
    if first == 0xFFFF:
        return struct.unpack_from('<H', data, at + 2)[0], at + 4
    end = at
    while struct.unpack_from('<H', data, end)[0] != 0:
        end += 2
    return data[at:end].decode('utf-16-le'), end + 2


def read_res(path):
    """{(type, name): (language, data)} of a .res file."""
    with open(path, 'rb') as f:
        data = f.read()
    resources = {}
    at = 0
    while at + 8 <= len(data):
        size, header_size = struct.unpack_from('<II', data, at)
        kind, after = read_id(data, at + 8)
        name, after = read_id(data, after)
        after = (after + 3) & ~3
        _, _, language = struct.unpack_from('<IHH', data, after)
        if size or kind != 0:  # the leading empty entry of every .res
            resources[(kind, name)] = (language, data[at + header_size:at + header_size + size])
        at = (at + header_size + size + 3) & ~3
    return resources


def utf16_string(data, at):
    end = at
    while struct.unpack_from('<H', data, end)[0] != 0:
        end += 2
    return data[at:end].decode('utf-16-le'), end + 2


def read_menu(data):
    """A MENU template as [(text, id or [items of the popup])]."""
    MF_POPUP, MF_END = 0x10, 0x80

    def items(at):
        out = []
        while True:
            (flags,) = struct.unpack_from('<H', data, at)
            at += 2
            if flags & MF_POPUP:
                text, at = utf16_string(data, at)
                inner, at = items(at)
                out.append((text, inner))
            else:
                (command,) = struct.unpack_from('<H', data, at)
                text, at = utf16_string(data, at + 2)
                out.append((text, command))
            if flags & MF_END:
                return out, at

    return items(4)[0]  # after the header: version 0, offset 0


def compiled_zoracc(work):
    """ui::zoracc as (flags, key, command) triples, printed by a host program."""
    program = os.path.join(work, 'print_zoracc.cpp')
    with open(program, 'w') as f:
        f.write('#include "ui/accelerators.h"\n#include <cstdio>\n'
                'int main() {\n  for (const auto& e : ui::zoracc)\n'
                '    std::printf("%u %u %u\\n", unsigned{e.flags}, unsigned{e.key},'
                ' unsigned{e.command});\n}\n')
    binary = os.path.join(work, 'print_zoracc')
    r = run(cxx, '-std=c++20', '-I', source_dir, program, '-o', binary)
    if r.returncode != 0:
        raise SystemExit('cannot build the table printer:\n' + r.stderr.decode(errors='replace'))
    out = run(binary).stdout.decode()
    return [tuple(int(n) for n in line.split()) for line in out.splitlines()]


def compile_rc(work, source):
    rc = os.path.join(work, 'velmora-setup.rc')
    res = os.path.join(work, 'velmora-setup.res')
    made = run(sys.executable, make_rc, source, rc)
    if made.returncode != 0:
        return made, None
    compiled = run(windres, '-I', os.path.join(source_dir, 'resources'), rc, '-O', 'res', '-o', res)
    return compiled, res if compiled.returncode == 0 else None


if not shutil.which(windres) or not shutil.which(cxx):
    print(f'skipped: {windres} or {cxx} is not installed')
    sys.exit(77)

work = tempfile.mkdtemp()
try:
    r, res = compile_rc(work, source_dir)
    check('generate and compile', res is not None, r.stderr.decode(errors='replace'))
    resources = read_res(res) if res else {}

    for (kind, name), (language, _) in resources.items():
        check(f'language of {name}', language == LANG_ENGLISH_US, hex(language))

    # The accelerators: the table Windows loads, entry for entry, flags
    # (the end-of-table bit included), keys and commands as in ui::zoracc.
    language, table = resources.get((RT_ACCELERATOR, 'ZORACC'), (0, b''))
    loaded = [struct.unpack_from('<HHHH', table, at)[:3] for at in range(0, len(table), 8)]
    expected = compiled_zoracc(work)
    check('ZORACC has 23 entries', len(loaded) == 23, str(len(loaded)))
    check('ZORACC equals ui::zoracc', loaded == expected, f'\n  rc:  {loaded}\n  C++: {expected}')

    # The icon: one 32x32 image in 16 colours, the committed file's image byte for byte.
    with open(os.path.join(source_dir, 'resources', 'zorvek.ico'), 'rb') as f:
        ico = f.read()
    _, group = resources.get((RT_GROUP_ICON, 'ZORVEK'), (0, b''))
    check('ZORVEK is one image', len(group) == 6 + 14 and struct.unpack_from('<HHH', group) == (0, 1, 1),
          group.hex())
    if len(group) == 20:
        width, height, colours, _, planes, bits, size, image_id = struct.unpack_from('<BBBBHHIH', group, 6)
        check('ZORVEK entry', (width, height, colours, bits) == (32, 32, 16, 4),
              str((width, height, colours, bits)))
        image_offset = struct.unpack_from('<I', ico, 6 + 12)[0]
        _, image = resources.get((RT_ICON, image_id), (0, b''))
        check('ZORVEK image is zorvek.ico', image == ico[image_offset:])

    # The menu, with its letters read back from UTF-16.
    _, menu = resources.get((RT_MENU, 'ZORMEN'), (0, b''))
    check('ZORMEN', menu and read_menu(menu) == [
        ('&Arkiv', [('&Ny fil', 531), ('&\u00d6ppna fil', 403), ('&St\u00e4ng fil\tCtrl+F4', 404)])],
          repr(read_menu(menu)) if menu else 'missing')

    _, rubric = resources.get((RT_RCDATA, 'ZORRUB'), (0, b''))
    check('ZORRUB', rubric == b'Velmora Installation', repr(rubric))

    # A table the generator cannot read must stop the build, not give Windows
    # another table: an entry deleted while the array still declares 23 (which
    # C++ accepts, zero-filling the rest), and a key name the seam lacks.
    for case, old, new in [
        ('deleted entry', '    {plain_key, vk::f1 + 8, key::f9},', ''),
        ('unknown key', 'vk::f1 + 8', 'vk::pause'),
    ]:
        broken = os.path.join(work, case.replace(' ', '_'))
        os.makedirs(os.path.join(broken, 'ui'))
        for header_name in ('window_system.h', 'key_codes.h'):
            shutil.copy(os.path.join(source_dir, 'ui', header_name), os.path.join(broken, 'ui'))
        with open(os.path.join(source_dir, 'ui', 'accelerators.h')) as f:
            header = f.read()
        check(f'{case}: the edit applies', old in header)
        with open(os.path.join(broken, 'ui', 'accelerators.h'), 'w') as f:
            f.write(header.replace(old, new))
        made = run(sys.executable, make_rc, broken, os.path.join(broken, 'out.rc'))
        check(f'{case}: refused', made.returncode == 1 and b'make_rc.py:' in made.stderr,
              made.stderr.decode(errors='replace'))
finally:
    shutil.rmtree(work, ignore_errors=True)

print(f'{passed} passed, {failed} failed')
sys.exit(1 if failed else 0)
