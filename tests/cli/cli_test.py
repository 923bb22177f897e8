"""varnook-cli from the outside. cli_test.py MODE CLI WORK ARG [NATIVE_CLI]: contract (ARG the version), samples
(ARG the sample folder) or compare (the Windows build, CLI = varnook-cli.exe run under Wine, with NATIVE_CLI).
Exits 0 when every check holds, 77 (skipped) when a needed folder or tool is absent."""
import contextlib
import os
import re
import resource
import shutil
import stat
import subprocess
import sys
import threading

import smf_check

ONE = bytes.fromhex('4d546864 00000006 0001 0001 0060'  # header: format 1, 1 track, 96 PPQN
                    '4d54726b 00000008 00 903c64 60 ff2f00')  # note on, End of Track at 96
ONE_LOG = 'one.mid\nRead 30 bytes\nPPQN=96\nLoaded 1 tracks\nFile saved\nSaved 30 bytes\n'
NOTES = bytes.fromhex('00 903c40') + bytes.fromhex('18 3e40 18 4040 18 4140 18 3c00') * 8 + bytes.fromhex('00ff2f00')


def song(*tracks):
    chunks = b''.join(b'MTrk' + len(t).to_bytes(4, 'big') + t for t in tracks)
    return b'MThd\0\0\0\6\0\1' + len(tracks).to_bytes(2, 'big') + b'\0\x60' + chunks


LISTED = song(bytes.fromhex('00ff03044c656164'  # track name "Lead"
                            '00 903c40  00 3e40'  # note on, a second under running status
                            '00 ff0100  00 4040'  # a text event between keeps running status
                            '00 3c00  00 992464  00 c905  00ff2f00'),  # velocity 0 is no note; channel 10
              bytes.fromhex('00ff510307a120 00ff2f00'),
              *[bytes.fromhex('00ff2f00')] * 14, bytes.fromhex('00 923c40 00ff2f00'))
# Nothing like these to try under Windows (devices, permission bits, file-size limits). A link is: Wine shows a
# POSIX link as a file, and the save finds what it points to as it finds a Windows link's target.
POSIX_ONLY = {'device written in place', 'permission bits kept', 'failed write leaves the target'}
# As root a faulty save could replace the system's /dev/null: root makes a null device of its own.
NULL = 'null' if os.geteuid() == 0 else '/dev/null'
LONG = '/'.join(c * 100 for c in 'abc')
AMOUNTS = ['--time-shift', 'all=40', '--pitch-shift', '2=8']
WINDOWS = False


def run(cli, args, cwd, stdin=b'', **extra):
    command = (['wine', cli] if WINDOWS else [cli]) + args
    env = dict(os.environ, WINEDEBUG='-all', LANG='C.UTF-8')
    done = subprocess.run(command, cwd=cwd, input=stdin, capture_output=True, env=env, timeout=120, **extra)
    text = lambda b: b.decode('utf-8', 'replace').replace('\r\n', '\n')
    return done.returncode, done.stdout, text(done.stdout), text(done.stderr)


def contract_rows(version):
    usage = r"varnook-cli: [^\n]+\nTry 'varnook-cli --help'\.\n"
    rows = [  # name, args, exit status, stdout and stderr patterns (None: the song), files afterwards
        ('round trip', ['one.mid', '-o', 'copy.mid'], 0, re.escape(ONE_LOG), '', {'copy.mid': ONE}),
        ('--name=value and --', ['--output=copy.mid', '--', '-one.mid'], 0, '-one.mid\n(.*\n)+Saved 30 bytes\n',
         '', {'copy.mid': ONE}),
        ('-o -: only the song on stdout', ['one.mid', '-o', '-'], 0, None, re.escape(ONE_LOG), {}),
        ('- reads stdin', ['-', '-o', 'copy.mid'], 0, '-\nRead 30 bytes\n(.*\n)+', '', {'copy.mid': ONE}),
        ('non-ASCII paths', ['s\u00e5ng \u266a.mid', '-o', 'ut \u266b.mid'], 0, 's\u00e5ng \u266a.mid\n(.*\n)+', '',
         {'ut \u266b.mid': ONE}),
        ('-d: one bad file does not stop the rest', ['one.mid', 'text.mid', 'two.mid', '-d', 'out'], 1,
         '(.*\n)+', 'varnook-cli: text.mid: no MIDI track found.*\n', {'out/one.mid': ONE, 'out/text.mid': None}),
        ('missing input', ['nosuch.mid', '-o', 'copy.mid'], 1, 'nosuch.mid\nFile open error!\n',
         'varnook-cli: nosuch.mid: ' + ('.+' if WINDOWS else 'No such file or directory') + '\n', {'copy.mid': None}),
        ('dry run says so', ['one.mid', '--time-shift', '1=5'], 0, '(.*\n)+Seed \\d+\n(.*\n)+',
         'varnook-cli: nothing was saved: give -o .*\n', {}),
        ('--version', ['--version'], 0, re.escape('varnook-cli %s\n' % version), '', {}),
        ('--help', ['--help'], 0, 'Usage: varnook-cli (.*\n)+.*Without -o or -d nothing is saved(.*\n)+', '', {}),
        ('--list', ['listed.mid', '--list', '--time-shift', '1=5'], 0,
         'listed.mid\n(.*\n)*?Track 1 "Lead": channels 1, 10; 4 notes\nTrack 2: no channel messages; 0 notes\n'
         '(Track .*\n){14}Track 17: channel 3; 1 note; kept unchanged.*\n', 'varnook-cli: nothing was saved.*\n', {}),
        ('seed logged first', ['two.mid', '--seed', '42', *AMOUNTS, '-o', 'copy.mid'], 0,
         '(.*\n){4}Seed 42\nTrack 1 (.*\n)+', '', {}),
        ('existing files named like the temporary one', ['one.mid', '-o', 'taken.mid'], 0, '(.*\n)+', '',
         {'taken.mid': ONE, '.vk-00000000.tmp': b'mine', '.vk-ffffffff.tmp': b'mine'}),
        ('saving over a folder', ['one.mid', '-o', 'out'], 1, '(.*\n)+File create error!\nSaved 0 bytes\n',
         'varnook-cli: out: Is a directory\n', {'out/keep': b'kept'}),
        ('path of more than 260 units', ['one.mid', '-o', LONG + '/copy.mid'], 0, '(.*\n)+File saved\n.*\n', '',
         {LONG + '/copy.mid': ONE}),
        ('missing folder', ['one.mid', '-o', 'nosuch/copy.mid'], 1, '(.*\n)+File create error!\nSaved 0 bytes\n',
         'varnook-cli: nosuch/copy.mid: .+\n', {}),
        ('read-only target refused', ['one.mid', '-o', 'readonly.mid'], 1, '(.*\n)+File create error!\n.*\n',
         'varnook-cli: readonly.mid: .+\n', {'readonly.mid': b'old'}),
        ('amount for a track the file lacks', ['one.mid', '--time-shift', '2=5', '-o', 'copy.mid'], 2, '(.*\n)+',
         "varnook-cli: --time-shift 2=5: the file has 1 track\nTry 'varnook-cli --help'.\n", {'copy.mid': None}),
        ('link followed', ['one.mid', '-o', 'link.mid'], 0, '(.*\n)+File saved\n.*\n', '',
         {'link.mid': lambda d: d == ONE and os.path.islink('link.mid'), 'real.mid': ONE}),
        ('device written in place', ['one.mid', '-o', NULL], 0, '(.*\n)+File saved\n.*\n', '',
         {NULL: lambda d: stat.S_ISCHR(os.stat(NULL).st_mode)}),
        ('permission bits kept', ['one.mid', '-o', 'private.mid'], 0, '(.*\n)+', '',
         {'private.mid': lambda d: d == ONE and stat.S_IMODE(os.stat('private.mid').st_mode) == 0o640}),
        ('failed write leaves the target', ['one.mid', '-o', 'taken.mid'], 1, '(.*\n)+File save error!\n.*\n',
         'varnook-cli: taken.mid: File too large\n', {'taken.mid': b'old'}),
    ]
    for line in ('--bogus one.mid', '', 'one.mid two.mid', 'one.mid -o', 'one.mid -o a -d out', '- -d out',
                 'one.mid --time-shift 1=201', 'one.mid --pitch-shift=1=65', 'one.mid --presses 101 --time-shift 1=5',
                 'one.mid --time-shift 17=5', 'one.mid --time-shift x=5', 'one.mid --seed -1', '--list=yes one.mid'):
        args = line.split()
        extra = [] if {'-o', '-d'} & set(args) else ['-o', 'copy.mid']
        rows.append(('usage error: %s' % ' '.join(args), args + extra, 2, '', usage, {'copy.mid': None}))
    for name in ('text.mid', 'empty.mid'):
        rows.append((name, [name, '-o', 'copy.mid'], 1, '(.*\n)+', 'varnook-cli: %s: no MIDI track.*\n' % name,
                     {'copy.mid': None}))
    return rows


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def prepare(work, cli):
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(os.path.join(work, 'out'))
    os.chmod(work, 0o777)
    files = {'one.mid': ONE, '-one.mid': ONE, 's\u00e5ng \u266a.mid': ONE, 'two.mid': song(NOTES, NOTES),
             'listed.mid': LISTED, 'text.mid': b'not a song\n', 'empty.mid': b'', 'taken.mid': b'old',
             'readonly.mid': b'old', '.vk-00000000.tmp': b'mine', '.vk-ffffffff.tmp': b'mine', 'out/keep': b'kept',
             'real.mid': b'old', 'private.mid': b'old'}
    for name, data in files.items():
        with open(os.path.join(work, name), 'wb') as f:
            f.write(data)
    os.makedirs(os.path.join(work, LONG))
    os.chmod(os.path.join(work, 'private.mid'), 0o640)
    os.chmod(os.path.join(work, 'readonly.mid'), 0o444)
    os.symlink('real.mid', os.path.join(work, 'link.mid'))
    with contextlib.suppress(OSError):  # without the node the row is skipped
        NULL == 'null' and not WINDOWS and os.mknod(os.path.join(work, NULL), 0o666 | stat.S_IFCHR, os.makedev(1, 3))


def contract(cli, work, version, _):
    failures = []
    prepare(work, cli)
    for name, args, status, out, err, files in contract_rows(version):
        if WINDOWS and name in POSIX_ONLY or name.startswith('device') and not os.path.exists(os.path.join(work, NULL)):
            print('SKIP %s: %s' % (name, 'not under Windows' if WINDOWS else 'no device node could be made'))
            continue
        if files:
            prepare(work, cli)
        os.chdir(work)
        # Root writes anything, as cp does: the refusal is tried as nobody.
        extra = {'preexec_fn': lambda: os.setgroups([]) or os.setgid(65534) or os.setuid(65534)} if (
            name.startswith('read-only') and not WINDOWS and os.geteuid() == 0) else {}
        if name.startswith('failed write'):
            extra = {'preexec_fn': lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (0, 0))}
        got, raw, out_text, err_text = run(cli, args, work, stdin=ONE if args[:1] == ['-'] else b'', **extra)
        problems = ['exit %d, expected %d' % (got, status)] if got != status else []
        problems += ['stdout is not the song alone: %r' % raw[:40]] if out is None and raw != ONE else []
        for label, text, pattern in (('stdout', out_text, out), ('stderr', err_text, err)):
            if pattern is not None and not re.fullmatch(pattern, text):
                problems.append('%s was:\n%s' % (label, text))
        for path, want in files.items():
            data = read(path) if os.path.isfile(path) else None
            problems += [] if (want(data) if callable(want) else data == want) else ['%s afterwards: %r' % (path, data)]
        left = [n for n in os.listdir(work) if n.startswith('.vk-') and n[4:12] not in ('00000000', 'ffffffff')]
        failures += ['%s: %s' % (name, p) for p in problems + (['temporary files left: %s' % left] if left else [])]
    failures += seed_properties(cli, work)
    print('SKIP FIFO written in place: no FIFOs under Windows') if WINDOWS else None
    return failures + ([] if WINDOWS else fifo_row(cli, work))


def seed_properties(cli, work):
    """A drawn seed is logged and replays; a second press goes on with the sequence."""
    os.chdir(work)
    logs = [run(cli, ['two.mid', *AMOUNTS, '-o', name], work)[2] for name in ('a.mid', 'b.mid')]
    seeds = [re.search(r'^Seed (\d+)$', log, re.M) for log in logs]
    if not all(seeds) or seeds[0].group(1) == seeds[1].group(1):
        return ['drawn seeds: two runs in a row logged %s' % [s and s.group(1) for s in seeds]]
    run(cli, ['two.mid', *AMOUNTS, '--seed', seeds[0].group(1), '-o', 'replay.mid'], work)
    failures = [] if read('replay.mid') == read('a.mid') else ['the logged seed did not give the same bytes']
    twice = run(cli, ['two.mid', *AMOUNTS, '--seed', '9', '--presses', '2', '-o', 'twice.mid'], work)[2]
    once = run(cli, ['two.mid', *AMOUNTS, '--seed', '9', '-o', 'once.mid'], work)[2]
    run(cli, ['once.mid', *AMOUNTS, '--seed', '9', '-o', 'again.mid'], work)
    summary = lambda log: re.findall(r'^Track \d+: .*$', log, re.M)
    if summary(twice)[:2] != summary(once) or len(summary(twice)) != 4:
        failures.append('press 1 of two is not a press alone: %s vs %s' % (summary(twice), summary(once)))
    return failures + (['press 2 replayed the seed'] if read('twice.mid') == read('again.mid') else [])


def fifo_row(cli, work):
    os.mkfifo('pipe.mid')
    got = []
    reader = threading.Thread(target=lambda: got.append(read('pipe.mid')))
    reader.start()
    status = run(cli, ['one.mid', '-o', 'pipe.mid'], work)[0]
    reader.join(30)
    ok = status == 0 and got == [ONE] and stat.S_ISFIFO(os.stat('pipe.mid').st_mode)
    return [] if ok else ['FIFO: exit %d, read %r' % (status, got)]


def checked(data):
    try:
        return smf_check.scan(data)
    except smf_check.Broken as broken:
        return ['broken: %s' % broken]


def samples(cli, work, data_dir, _):
    """Every sample file in one batch: well-formed outputs, and Load + Save is the identity where it must be."""
    names = sorted(n for n in os.listdir(data_dir) if n.endswith('.mid'))
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    status, _, _, err = run(cli, names + ['-d', work], data_dir)
    failures, eligible, identical, refused = [] if status in (0, 1) else ['batch exit %d: %s' % (status, err)], 0, 0, 0
    for name in names:
        source, target = read(os.path.join(data_dir, name)), os.path.join(work, name)
        changes = checked(source)
        eligible += not changes
        if not os.path.exists(target):  # refused: no track at all
            failures += ['%s: not written' % name] if b'MTrk' in source else []
            refused += not changes
            continue
        out = read(target)
        failures += ['%s: output %s' % (name, c) for c in checked(out)]
        identical += not changes and out == source
        failures += ['%s: not written back byte for byte' % name] if not changes and out != source else []
        if 'Cantabile' in name and out[10:12] != (69).to_bytes(2, 'big'):
            failures.append('%s: %d tracks, not 69' % (name, int.from_bytes(out[10:12], 'big')))
    print('%d sample files; %d read in step: %d came back identical, %d had no track to read (refused)' % (
        len(names), eligible, identical, refused))
    return failures


def compare(cli, work, data_dir, native):
    """The Windows build and the native one give the same bytes and log lines on every sample file."""
    global WINDOWS
    names = sorted(n for n in os.listdir(data_dir) if n.endswith('.mid'))
    failures = []
    for label, options in (('plain', []),
                           ('humanised', '--seed 7 --time-shift all=30 --pitch-shift all=10 --presses 2'.split())):
        results = {}
        for build, tool in (('native', native), ('windows', cli)):
            WINDOWS = build == 'windows'
            folder = os.path.join(work, label, build)
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
            status, _, out, _ = run(tool, options + names + ['-d', folder], data_dir)
            results[build] = (status, out, {n: read(os.path.join(folder, n)) for n in os.listdir(folder)})
        (s1, o1, f1), (s2, o2, f2) = results['native'], results['windows']
        failures += ['%s: exit %d natively, %d on Windows' % (label, s1, s2)] if s1 != s2 else []
        failures += ['%s: logs differ' % label] if o1 != o2 else []
        failures += ['%s: %s differs' % (label, n) for n in sorted(set(f1) | set(f2)) if f1.get(n) != f2.get(n)]
        print('%s: %d files written by each build' % (label, len(f1)))
    return failures


def main(mode, cli, work, arg, native=''):
    global WINDOWS
    WINDOWS, work = cli.endswith('.exe'), os.path.abspath(work)
    if mode != 'contract' and not os.path.isdir(arg):
        print('SKIP: no sample MIDI files in %s' % arg)
        return 77
    if mode == 'compare' and not os.path.isfile(native):
        print('SKIP: no native varnook-cli to compare with (configure with -DVARNOOK_NATIVE_CLI=PATH)')
        return 77
    # Wine starts its services anew (seconds) for each program unless one runs: an idle cmd keeps them up. The
    # tool runs only once cmd answers: two programs starting Wine's services at once can hang.
    keeper = WINDOWS and subprocess.Popen(['wine', 'cmd'], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    if keeper:
        keeper.stdin.write(b'echo ready\r\n')
        keeper.stdin.flush()
        while keeper.stdout.readline().strip() not in (b'ready', b''):
            pass
    try:
        failures = {'contract': contract, 'samples': samples, 'compare': compare}[mode](cli, work, arg, native)
    finally:
        keeper and (keeper.stdin.close(), keeper.wait(60))
    for failure in failures:
        print('FAIL', failure)
    print('%d failure(s)' % len(failures) if failures else 'all checks passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:]))
