#!/usr/bin/python3
"""Checks what only the built varnook.exe shows: its imports, icon, manifest and version.

The dialogs and the menu are seen where they count, in the running window
(tests/windows). Needs wrestool (icoutils) and the mingw objdump.
Usage: check_resources.py path/to/varnook.exe   (exit status 0 when all hold)
"""
import re
import struct
import subprocess
import sys

# DLLs that every Windows has: anything else (a compiler runtime, say) would
# have to be shipped beside the program.
IMPORTS = {'comctl32.dll', 'comdlg32.dll', 'kernel32.dll', 'msvcrt.dll', 'shell32.dll',
           'user32.dll', 'version.dll'}
VERSION = '1.1.18.0'
STRINGS = {'FileDescription': 'Varnook', 'FileVersion': VERSION, 'InternalName': 'varnook',
           'OriginalFilename': 'varnook.exe', 'ProductName': 'Varnook', 'ProductVersion': VERSION}
failures = []


def check(ok, message):
    if not ok:
        failures.append(message)


def resource(kind, name):
    return subprocess.run(['wrestool', '-x', '--raw', f'--type={kind}', f'--name={name}', exe],
                          check=True, capture_output=True).stdout


exe = sys.argv[1]
dump = subprocess.run(['x86_64-w64-mingw32-objdump', '-p', exe], check=True, capture_output=True,
                      text=True).stdout
dlls = {name.lower() for name in re.findall(r'DLL Name: (\S+)', dump)}
check(dlls == IMPORTS, f'imports {sorted(dlls)}, expected {sorted(IMPORTS)}')

group = resource(14, 136)  # the icon group: 14-byte entries after a 6-byte header
images = set()
for i in range(struct.unpack_from('<H', group, 4)[0]):
    width, height, _, _, _, bits, _, ident = struct.unpack_from('<BBBBHHIH', group, 6 + 14 * i)
    images.add((width or 256, height or 256, bits))
    if width == 0:
        check(resource(3, ident).startswith(b'\x89PNG'), 'icon: the 256-pixel image is not a PNG')
want = {(size, size, bits) for size in (16, 32, 48) for bits in (4, 8, 32)} | {(256, 256, 32)}
check(images == want, f'icon images {sorted(images)}, expected {sorted(want)}')

manifest = resource(24, 1).decode('utf-8')
check(re.search(r'"Microsoft.Windows.Common-Controls"\s+version="6.0.0.0"', manifest),
      'manifest: no common controls 6.0.0.0')
check('level="asInvoker"' in manifest, 'manifest: not asInvoker')

block = resource(16, 1)
at = block.find(struct.pack('<I', 0xFEEF04BD))  # the fixed part's signature
major, minor, build, revision = map(int, VERSION.split('.'))
words = (major << 16 | minor, build << 16 | revision)
check(at > 0 and struct.unpack_from('<4I', block, at + 8) == words * 2,
      'version: file and product version in the fixed part are not ' + VERSION)
text = block.decode('utf-16-le')  # keys and values start on 4-byte boundaries
check('040904b0' in text and struct.pack('<HH', 0x0409, 1200) in block,
      'version: no U.S. English Unicode string table and translation')
for key, value in STRINGS.items():
    check(re.search(key + '\0+' + re.escape(value) + '\0', text), f'version: no {key} "{value}"')

for failure in failures:
    print('FAIL', failure)
print(f'{len(failures)} resource check(s) failed' if failures else 'all resource checks passed')
sys.exit(1 if failures else 0)
