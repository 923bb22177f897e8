#!/usr/bin/python3
"""Checks the resources compiled into varnook.exe, byte for byte where it matters.

Extracts each resource with wrestool (icoutils) and parses it here: the three
extended dialog templates (header, font, caption and every control's style,
extended style, id, class, text, position and size), menu 109, icon group 136,
version resource 1 and the manifest; then checks with objdump that the import
table names only DLLs that every Windows has.

Usage: check_resources.py path/to/varnook.exe   (exit status 0 when all hold)
"""
import struct
import subprocess
import sys

BUTTON, EDIT, STATIC = 'BUTTON', 'EDIT', 'STATIC'
TRACKBAR = 'msctls_trackbar32'
ORDINAL_CLASSES = {0x80: BUTTON, 0x81: EDIT, 0x82: STATIC}
CLASS_NAMES = {name.upper(): name for name in (BUTTON, EDIT, STATIC, TRACKBAR)}

# (id, class, text, style, exstyle, x, y, cx, cy); an ordinal text as int.
MAIN_CONTROLS = [
    (2, BUTTON, 'Exit', 0x50010000, 0, 314, 21, 50, 22),
    (1000, BUTTON, 'Tracks', 0x50000007, 0, 23, 17, 101, 182),
    (1004, TRACKBAR, '', 0x50010008, 0, 176, 76, 161, 23),
    (1006, EDIT, '', 0x50A10CC4, 0x200, 23, 212, 349, 88),
    (32774, BUTTON, 'Save...', 0x50010000, 0, 255, 21, 50, 22),
    (1008, BUTTON, 'Transform', 0x50010000, 0, 196, 21, 50, 22),
    (-1, STATIC, 'Time shift', 0x50020000, 0, 137, 83, 34, 10),
    (32771, BUTTON, 'Load...', 0x50010000, 0, 137, 21, 50, 22),
    (1013, STATIC, 'Off', 0x50020000, 0, 344, 83, 15, 8),
    (1007, TRACKBAR, '', 0x50010008, 0, 176, 98, 161, 23),
    (-1, STATIC, 'Pitch shift', 0x50020000, 0, 138, 105, 34, 10),
    (1014, STATIC, 'Off', 0x50020000, 0, 344, 105, 15, 8),
]
ABOUT_CONTROLS = [
    (1015, STATIC, 136, 0x50000003, 0, 14, 14, 21, 20),
    (1010, STATIC, 'Varnook, version ', 0x50020080, 0, 42, 14, 125, 8),
    (1, BUTTON, '\u041E\u041A', 0x50030001, 0, 215, 109, 50, 14),
    (-1, STATIC, 'In the next version: Pitch shift, untuned instruments', 0x50820000, 0, 40, 62, 154, 33),
]
# name: (style, exstyle, x, y, cx, cy, menu, caption, point size, weight, face, controls)
DIALOGS = {
    140: (0x80CA00C8, 0x00050000, 0, 0, 379, 307, 109, 'Varnook', 8, 400, 'MS Shell Dlg', MAIN_CONTROLS),
    130: (0x40F80448, 0, 0, 0, 97, 161, 0, 'Dialog', 8, 400, 'MS Shell Dlg', []),
    103: (0x80C800C8, 0, 0, 0, 272, 130, 0, 'About varnook', 8, 0, 'MS Shell Dlg', ABOUT_CONTROLS),
}
SYSTEM_DLLS = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'comctl32.dll', 'comdlg32.dll', 'version.dll',
               'msvcrt.dll', 'advapi32.dll', 'shell32.dll'}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def resource(exe, kind, name):
    return subprocess.run(['wrestool', '-x', '--raw', f'--type={kind}', f'--name={name}', exe],
                          check=True, capture_output=True).stdout


class Cursor:
    def __init__(self, data):
        self.data, self.at = data, 0

    def take(self, fmt):
        values = struct.unpack_from('<' + fmt, self.data, self.at)
        self.at += struct.calcsize('<' + fmt)
        return values if len(values) > 1 else values[0]

    def text(self):
        end = self.at
        while self.data[end:end + 2] != b'\0\0':
            end += 2
        value = self.data[self.at:end].decode('utf-16-le')
        self.at = end + 2
        return value

    def text_or_ordinal(self):
        first = struct.unpack_from('<H', self.data, self.at)[0]
        if first == 0xFFFF:
            self.at += 2
            return self.take('H')
        return self.text()

    def align(self, n=4):
        self.at = (self.at + n - 1) // n * n


def check_dialog(exe, name, expected):
    style, exstyle, x, y, cx, cy, menu, caption, points, weight, face, controls = expected
    c = Cursor(resource(exe, 5, name))
    version, signature, _help = c.take('HHI')
    check((version, signature) == (1, 0xFFFF), f'dialog {name}: not an extended template')
    got = c.take('IIHhhhh')
    header = (got[1], got[0], got[3], got[4], got[5], got[6])
    check(header == (style, exstyle, x, y, cx, cy),
          f'dialog {name}: header {tuple(map(hex, header[:2]))}{header[2:]} '
          f'!= {(hex(style), hex(exstyle), x, y, cx, cy)}')
    count = got[2]
    got_menu = c.text_or_ordinal()
    check(got_menu == menu or (menu == 0 and got_menu == ''), f'dialog {name}: menu {got_menu!r} != {menu}')
    check(c.text_or_ordinal() == '', f'dialog {name}: has a window class')
    got_caption = c.text()
    check(got_caption == caption, f'dialog {name}: caption {got_caption!r} != {caption!r}')
    font = c.take('HHBB')
    got_face = c.text()
    check((font[0], font[1], got_face) == (points, weight, face),
          f'dialog {name}: font {font[:2]} {got_face!r} != {(points, weight)} {face!r}')
    check((font[2], font[3]) == (0, 1), f'dialog {name}: italic/charset {font[2:]} != (0, 1)')
    check(count == len(controls), f'dialog {name}: {count} controls, expected {len(controls)}')
    for index in range(min(count, len(controls))):
        c.align()
        _help, ex, st, cx_x, cx_y, cx_w, cx_h, ident = c.take('IIIhhhhi')
        cls = c.text_or_ordinal()
        # Window class names are case-insensitive, and windres writes named
        # classes in capitals; the predefined ones come as ordinals.
        cls = ORDINAL_CLASSES.get(cls, cls) if isinstance(cls, int) else CLASS_NAMES.get(cls.upper(), cls)
        text = c.text_or_ordinal()
        extra = c.take('H')
        c.at += extra
        got_control = (ident, cls, text, st, ex, cx_x, cx_y, cx_w, cx_h)
        want = controls[index]
        check(got_control == want, f'dialog {name} control {index}: {describe(got_control)} != {describe(want)}')


def describe(control):
    ident, cls, text, st, ex, *rect = control
    return f'id {ident} {cls} {text!r} style {st:#010x} ex {ex:#x} at {rect}'


def check_menu(exe):
    c = Cursor(resource(exe, 4, 109))
    check(c.take('HH') == (0, 0), 'menu 109: not a plain menu template')
    items = []

    def read_level():
        while True:
            flags = c.take('H')
            if flags & 0x10:
                title = c.text()
                items.append(('popup', title))
                read_level()
            else:
                ident = c.take('H')
                items.append((c.text(), ident))
            if flags & 0x80:
                return
    read_level()
    want = [('popup', 'File'), ('Load...', 32771), ('Save...', 32774), ('Exit', 105),
            ('popup', 'Help'), ('About...', 104)]
    check(items == want, f'menu 109: {items} != {want}')


def check_icon(exe):
    group = resource(exe, 14, 136)
    reserved, kind, count = struct.unpack_from('<HHH', group, 0)
    check((reserved, kind) == (0, 1), 'icon group 136: bad header')
    images = set()
    for i in range(count):
        w, h, _colors, _r, _planes, bpp, _size, ident = struct.unpack_from('<BBBBHHIH', group, 6 + 14 * i)
        w, h = w or 256, h or 256
        images.add((w, h, bpp))
        if w == 256:
            check(resource(exe, 3, ident)[:8] == b'\x89PNG\r\n\x1a\n', 'icon 136: the 256-pixel image is not a PNG')
    want = {(s, s, b) for s in (16, 32, 48) for b in (4, 8, 32)} | {(256, 256, 32)}
    check(images == want, f'icon group 136: images {sorted(images)} != {sorted(want)}')


def version_nodes(data, at, end):
    """Yields (key, value bytes, value is text, children) of a version block's nodes."""
    while at + 6 <= end:
        length, value_length, is_text = struct.unpack_from('<HHH', data, at)
        if length == 0:
            return
        c = Cursor(data)
        c.at = at + 6
        key = c.text()
        c.align()
        value_bytes = value_length * 2 if is_text else value_length
        value = data[c.at:c.at + value_bytes]
        c.at += value_bytes
        c.align()
        yield key, value, is_text, (c.at, at + length)
        at = (at + length + 3) // 4 * 4


def check_version(exe):
    data = resource(exe, 16, 1)
    (key, fixed, _t, children), = list(version_nodes(data, 0, len(data)))
    check(key == 'VS_VERSION_INFO', 'version 1: root key')
    fields = struct.unpack_from('<13I', fixed)
    want = (0xFEEF04BD, 0x00010000, 0x00010001, 0x00120000, 0x00010001, 0x00120000, 0x3F, 0, 0x00040004, 0, 0,
            0, 0)
    check(fields == want, f'version 1: fixed part {list(map(hex, fields))}')
    strings, translation = {}, None
    for k, _v, _t, (start, end) in version_nodes(data, *children):
        for table, _tv, _tt, (ts, te) in version_nodes(data, start, end):
            if k == 'StringFileInfo':
                check(table == '040904b0', f'version 1: string table {table!r}')
                for name, value, _vt, _c in version_nodes(data, ts, te):
                    strings[name] = value.decode('utf-16-le').rstrip('\0')
            elif k == 'VarFileInfo' and table == 'Translation':
                translation = struct.unpack_from('<HH', _tv)
    for name, value in (('FileDescription', 'Varnook'), ('ProductName', 'Varnook'), ('InternalName', 'varnook'),
                        ('FileVersion', '1.1.18.0'), ('ProductVersion', '1.1.18.0')):
        check(strings.get(name) == value, f'version 1: {name} = {strings.get(name)!r}, expected {value!r}')
    check(translation == (0x0409, 1200), f'version 1: translation {translation}')


def check_manifest(exe):
    text = resource(exe, 24, 1).decode('utf-8')
    check('Microsoft.Windows.Common-Controls' in text and 'version="6.0.0.0"' in text,
          'manifest: no common controls 6.0.0.0')
    check('level="asInvoker"' in text, 'manifest: no asInvoker')


def check_imports(exe):
    dump = subprocess.run(['x86_64-w64-mingw32-objdump', '-p', exe], check=True, capture_output=True,
                          text=True).stdout
    dlls = {line.split('DLL Name:')[1].strip().lower() for line in dump.splitlines() if 'DLL Name:' in line}
    check(dlls and dlls <= SYSTEM_DLLS, f'imports beyond the system DLLs: {sorted(dlls - SYSTEM_DLLS)}')


def main():
    exe = sys.argv[1]
    for name, expected in DIALOGS.items():
        check_dialog(exe, name, expected)
    check_menu(exe)
    check_icon(exe)
    check_version(exe)
    check_manifest(exe)
    check_imports(exe)
    for failure in failures:
        print('FAIL', failure)
    print(f'{len(failures)} resource check(s) failed' if failures else 'all resource checks passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
