#!/usr/bin/env python3
"""Writes velmora-setup.rc, the resource script of the Windows installer stub.

    resources/make_rc.py SOURCE_DIR OUT.rc

SOURCE_DIR is the project's top directory. The accelerator table ZORACC is not
written down here: it is read from its one source, ui::zoracc in
ui/accelerators.h, with the virtual-key codes and flags of ui/window_system.h
and the command ids of ui/key_codes.h, so the Windows build and the other
window systems always translate the same keys. Everything else the script holds (the icon, the menu ZORMEN, the data
item ZORRUB, the application manifest) is fixed below.

The script is Windows-1252 text (#pragma code_page(1252) says so to the
resource compiler): the menu's Swedish letters are single bytes. The icon is
named without a directory; the resource compiler finds it through its include
path (-I SOURCE_DIR/resources), and so is the application manifest
velmora.manifest, which velmora-pack.rc names too.

Exits with status 1 and a message when the headers do not read as expected (a
table entry whose key or flags the script cannot express, an entry count that
differs from the array's declared size, an end flag anywhere but last).
"""
import os
import re
import sys

# Win32's names of the virtual-key codes a resource script can name (VK_*).
VK_NAMES = {
    0x08: 'VK_BACK', 0x09: 'VK_TAB', 0x0C: 'VK_CLEAR', 0x0D: 'VK_RETURN', 0x10: 'VK_SHIFT',
    0x11: 'VK_CONTROL', 0x12: 'VK_MENU', 0x13: 'VK_PAUSE', 0x14: 'VK_CAPITAL', 0x1B: 'VK_ESCAPE',
    0x20: 'VK_SPACE', 0x21: 'VK_PRIOR', 0x22: 'VK_NEXT', 0x23: 'VK_END', 0x24: 'VK_HOME',
    0x25: 'VK_LEFT', 0x26: 'VK_UP', 0x27: 'VK_RIGHT', 0x28: 'VK_DOWN', 0x2C: 'VK_SNAPSHOT',
    0x2D: 'VK_INSERT', 0x2E: 'VK_DELETE', 0x2F: 'VK_HELP',
}
VK_NAMES.update({0x70 + n: 'VK_F%d' % (n + 1) for n in range(24)})

# ACCEL flag bits (FVIRTKEY, FNOINVERT, FSHIFT, FCONTROL, FALT) and the
# keywords that set them; the end-of-table bit (0x80) is set by the resource
# compiler on the last entry and has no keyword.
FLAG_WORDS = [(0x01, 'VIRTKEY'), (0x02, 'NOINVERT'), (0x04, 'SHIFT'), (0x08, 'CONTROL'),
              (0x10, 'ALT')]
END_FLAG = 0x80


class ReadError(Exception):
    pass


def strip_comments(text):
    return re.sub(r'//[^\n]*', '', text)


def namespace_body(text, name):
    match = re.search(r'namespace\s+%s\s*\{([^{}]*)\}' % name, text)
    if not match:
        raise ReadError('no namespace %s' % name)
    return match.group(1)


def constants(body):
    """The `inline constexpr <integer type> name = value;` lines of a block."""
    return {name: value for name, value in re.findall(
        r'inline\s+constexpr\s+std::u?int\d+_t\s+(\w+)\s*=\s*([^;]+);', body)}


def evaluate(expression, names):
    """An integer expression of literals, known names, +, | and parentheses."""
    def replace(match):
        word = match.group(0)
        if re.fullmatch(r'0[xX][0-9a-fA-F]+|\d+', word):
            return str(int(word, 0))
        if word not in names:
            raise ReadError('unknown name %s in "%s"' % (word, expression.strip()))
        return '(%d)' % names[word]
    python = re.sub(r'[A-Za-z_][\w:]*|0[xX][0-9a-fA-F]+|\d+', replace, expression)
    if not re.fullmatch(r'[\d\s()+|]*', python):
        raise ReadError('cannot evaluate "%s"' % expression.strip())
    return eval(python, {'__builtins__': {}})  # digits and operators only, checked above


def read_table(source_dir):
    """ui::zoracc as a list of (flags, key, command)."""
    with open(os.path.join(source_dir, 'ui', 'window_system.h'), encoding='utf-8') as f:
        seam = strip_comments(f.read())
    with open(os.path.join(source_dir, 'ui', 'key_codes.h'), encoding='utf-8') as f:
        key_codes = strip_comments(f.read())
    with open(os.path.join(source_dir, 'ui', 'accelerators.h'), encoding='utf-8') as f:
        header = strip_comments(f.read())

    names = {}
    for space in ('vk', 'accel_flag'):
        for name, value in constants(namespace_body(seam, space)).items():
            names['%s::%s' % (space, name)] = evaluate(value, names)
    for name, value in constants(key_codes).items():
        names['key::%s' % name] = evaluate(value, names)
    for name, value in constants(header).items():
        names[name] = evaluate(value, names)

    match = re.search(r'std::array<\s*accelerator\s*,\s*(\d+)\s*>\s*zoracc\s*\{\{(.*?)\}\};',
                      header, re.S)
    if not match:
        raise ReadError('no std::array<accelerator, N> zoracc in ui/accelerators.h')
    declared = int(match.group(1))
    entries = []
    for flags, key, command in re.findall(r'\{([^{},]+),([^{},]+),([^{},]+)\}', match.group(2)):
        entries.append((evaluate(flags, names), evaluate(key, names), evaluate(command, names)))
    if len(entries) != declared:
        raise ReadError('zoracc declares %d entries, %d read' % (declared, len(entries)))
    return entries


def accelerator_lines(entries):
    lines = []
    known = END_FLAG
    for bit, _ in FLAG_WORDS:
        known |= bit
    for index, (flags, key, command) in enumerate(entries):
        last = index == len(entries) - 1
        if flags & ~known:
            raise ReadError('entry %d: flags 0x%02X hold bits a script cannot set' % (index, flags))
        if bool(flags & END_FLAG) != last:
            raise ReadError('entry %d: the end-of-table flag belongs on the last entry only' % index)
        if flags & 0x01:
            if key not in VK_NAMES:
                raise ReadError('entry %d: no VK_ name for key 0x%02X' % (index, key))
            event = VK_NAMES[key]
        else:
            event = '%d' % key  # a character code
        words = [word for bit, word in FLAG_WORDS if flags & bit]
        if not flags & 0x01:
            words.insert(0, 'ASCII')
        lines.append('    %s, %d, %s' % (event, command, ', '.join(words)))
    return lines


def script(entries):
    return '\n'.join([
        '// velmora-setup.rc: the resources of the Windows installer stub.',
        '// Written by resources/make_rc.py; the accelerator table comes from ui/accelerators.h.',
        '#pragma code_page(1252)',
        '#include <windows.h>',
        '',
        'LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US',
        '',
        'ZORVEK ICON "zorvek.ico"',
        '',
        '// The application manifest: CREATEPROCESS_MANIFEST_RESOURCE_ID (1), RT_MANIFEST (24).',
        '1 24 "velmora.manifest"',
        '',
        'ZORACC ACCELERATORS',
        'BEGIN',
        *accelerator_lines(entries),
        'END',
        '',
        'ZORMEN MENU',
        'BEGIN',
        '    POPUP "&Arkiv"',
        '    BEGIN',
        '        MENUITEM "&Ny fil", 531',
        '        MENUITEM "&\u00d6ppna fil", 403',
        '        MENUITEM "&St\u00e4ng fil\\tCtrl+F4", 404',
        '    END',
        'END',
        '',
        'ZORRUB RCDATA',
        'BEGIN',
        '    "Velmora Installation"',
        'END',
        '',
    ])


def main():
    if len(sys.argv) != 3:
        sys.stderr.write('usage: make_rc.py SOURCE_DIR OUT.rc\n')
        return 2
    source_dir, out = sys.argv[1], sys.argv[2]
    try:
        text = script(read_table(source_dir))
    except (OSError, ReadError) as e:
        sys.stderr.write('make_rc.py: %s\n' % e)
        return 1
    with open(out, 'wb') as f:
        f.write(text.encode('cp1252'))
    return 0


if __name__ == '__main__':
    sys.exit(main())
