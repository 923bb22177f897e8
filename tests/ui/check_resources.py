#!/usr/bin/python3
"""What only the built varnook.exe shows: imports, icon, manifest, version, dialogs, menu (needs
wrestool from icoutils and the mingw objdump). Usage: check_resources.py varnook.exe VERSION (the build's, from its
project() line); status 0 when all hold."""
import hashlib, re, struct, subprocess, sys

exe, version = sys.argv[1:3]
major, minor, build, revision = map(int, version.split('.'))
run = lambda *command: subprocess.run(command, check=True, capture_output=True).stdout
res = lambda kind, name: run('wrestool', '-x', '--raw', f'--type={kind}', f'--name={name}', exe)
group, manifest, block = res(14, 136), res(24, 1), res(16, 1)  # icon group: 6 + 14 per image
headers = run('x86_64-w64-mingw32-objdump', '-p', exe)
main, about, pane, menu = res(5, 140), res(5, 103), res(5, 130), res(4, 109)  # dialogs, menu
sha = lambda data: hashlib.sha256(data).hexdigest()[:16]
wide = lambda text: text.encode('utf-16-le')
edit = b'\x10\0' + wide('Edit\0') + struct.pack('<2H', 0x81, 32775) + wide('Undo\tCtrl+Z\0')
images = {(width or 256, bits, res(3, ident)[:4] == b'\x89PNG') for width, bits, ident in
          (struct.unpack_from('<B5xH4xH', group, 6 + 14 * i) for i in range(group[4]))}
# The build's version, carried from its project() line into the strings and the fixed part.
checks = {f'version: {k} "{version}"': re.search(f'{k}\0+{re.escape(version)}\0', block.decode('utf-16-le'))
          for k in ('FileVersion', 'ProductVersion')} | {
    'icon: 16, 32, 48 at 4, 8, 32 bits, and 256 as PNG': images == {
        (size, bits, False) for size in (16, 32, 48) for bits in (4, 8, 32)} | {(256, 32, True)},
    'imports no DPI call that systems before Windows 10 lack (looked up at run time)':
        not re.search(rb'\sGetDpiFor', headers),
    'manifest: common controls 6.0.0.0, asInvoker': re.search(
        rb'Common-Controls"\s+version="6.0.0.0".*level="asInvoker"', manifest, re.S),
    'manifest: long-path aware': re.search(rb'<longPathAware[^>]*>true</longPathAware>', manifest),
    'manifest: per-monitor DPI aware, V2 first': re.search(
        rb'<dpiAware[^>]*>true/pm</dpiAware>', manifest) and re.search(
        rb'<dpiAwareness[^>]*>PerMonitorV2,PerMonitor</dpiAwareness>', manifest),
    # The templates and the menu the window has always had (the main dialog's item count aside), and
    # the controls added after the main dialog's own 12, which end at byte 752; the Edit menu.
    "templates: About box, track pane and the main dialog's own controls unchanged": (sha(about),
        sha(pane), sha(main[:16] + main[18:752])) == (
        '87b477fb4a7e7f0b', 'cffa2167a724a66c', '7be5b36f20960b7f'),
    'main dialog: then a slider and the style buttons Classic and Musical': re.search(
        'MSCTLS_TRACKBAR32\0.*BUTTON\0Classic\0.*BUTTON\0Musical\0',
        main[752:].decode('utf-16-le', 'replace'), re.S),
    'menu: File and Help as they were, Edit between them with Undo (Ctrl+Z), greyed':
        edit in menu and sha(menu.replace(edit, b'')) == 'bd6cba42c9b34df3',
    'version: file and product version in the fixed part':
        struct.pack('<2I', major << 16 | minor, build << 16 | revision) * 2 in block}
failed = [name for name, ok in checks.items() if not ok]
print(*(f'FAIL {name}\n' for name in failed), f'{len(failed)} of {len(checks)} failed', sep='')
sys.exit(bool(failed))
