"""varnook-cli from the outside, its contract: cli_test.py CLI VERSION, working in a folder cli-contract (a .exe runs
under Wine)."""
import os, re, resource, shutil, signal, stat, subprocess, sys, time  # noqa: E401
from pathlib import Path


def song(*tracks):
    chunks = b''.join(b'MTrk' + len(t).to_bytes(4, 'big') + t for t in tracks)
    return b'MThd\0\0\0\6\0\1' + len(tracks).to_bytes(2, 'big') + b'\0\x60' + chunks


ONE = song(bytes.fromhex('00 903c64 60 ff2f00'))  # a note on, End of Track at 96
NOTES = bytes.fromhex('00 903c40' + '18 3e40 18 4040 18 4140 18 3c00' * 8 + '00ff2f00')  # running status
TWO = song(NOTES, NOTES)
LISTED = song(bytes.fromhex('00ff03044c656164'  # track name "Lead"
                            '00 903c40  00 3e40'  # note on, a second under running status
                            '00 ff0100  00 4040'  # a text event between keeps running status
                            '00 3c00  00 992464  00 c905  00ff2f00'),  # velocity 0 is no note; channel 10
              *map(bytes.fromhex, ['00ff510307a120 00ff2f00'] + ['00ff2f00'] * 14 + ['00 923c40 00ff2f00']))
FILES = {'one.mid': ONE, '-one.mid': ONE, 's\u00e5ng\u266a.mid': ONE, 'two.mid': TWO, 'listed.mid': LISTED,
         'text.mid': b'not a song\n', 'empty.mid': b'', **dict.fromkeys(('readonly.mid', 'real.mid', 'private.mid'), b'old')}
LOG = '%s\nRead 30 bytes\nPPQN=96\nLoaded 1 tracks\nSaving to %s\nFile saved\nSaved 30 bytes\n'
LONG = '/'.join(c * 100 for c in 'abc')
ANY = '(.*\n)*'
AMOUNTS = ['--time-shift', 'all=40', '--pitch-shift', 'all=8']


def rows(version):
    """(arguments, exit status, stdout, stderr, files afterwards[, step in the child before]): stdout and stderr are
    patterns, or the exact bytes; a file is its bytes, None (absent) or a test of its bytes."""
    saved, no_header = ANY + 'File saved\nSaved 30 bytes\n', 'varnook-cli: %s: no MIDI header found.*\n'
    not_saved = 'varnook-cli: %s: --time-shift 2=5: the file has 1 track; not saved\n'
    failed = ANY + 'File (create|save) error!\nSaved 0 bytes\n'
    return [
        ('- -o -', 0, ONE, re.escape(LOG % ('-', 'standard output')), {}),  # the log goes to stderr
        ('s\u00e5ng\u266a.mid text.mid empty.mid nosuch.mid two.mid -d out', 1, 's\u00e5ng\u266a.mid\n' + ANY,
         no_header % 'text.mid' + no_header % 'empty.mid' + 'varnook-cli: nosuch.mid: %s\n' % (
             '.+' if WINDOWS else 'No such file or directory'),
         {'out/s\u00e5ng\u266a.mid': ONE, 'out/text.mid': None, 'out/nosuch.mid': None, 'out/two.mid': TWO}),
        # A file without the track named is that file's error; the others are saved, and the log says where.
        ('one.mid two.mid --time-shift 2=5 --output-dir=out', 1,
         ANY + re.escape('Saving to out%stwo.mid\nFile saved\nSaved 238 bytes\n' % '\\/'[not WINDOWS]),
         not_saved % 'one.mid', {'out/one.mid': None, 'out/two.mid': lambda d: d is not None and d != TWO}),
        ('one.mid --time-shift 2=5 -d out -- -one.mid', 2, ANY, not_saved % 'one.mid' + not_saved % '-one.mid',
         {'out/one.mid': None}),  # no input has the track: a usage error, found once they are read
        ('one.mid --time-shift 1=5 --presses 100', 0, ANY + 'Seed \\d+\n' + ANY,
         'varnook-cli: nothing was saved: give -o .*\n', {}),
        ('--version', 0, re.escape('varnook-cli %s\n' % version), '', {}),
        ('--help', 0, 'Usage: varnook-cli ' + ANY + '.*Without -o or -d nothing is saved' + ANY + r' +move each event by'
         r' up to AMOUNT ticks \(0-200\);\n +musical: each note, also in ms \(0ms-200ms\)\n' + ANY, '', {}),
        ('--list listed.mid one.mid --time-shift 1=5', 0, 'listed.mid\n' + ANY + 'Track 1 "Lead": channels 1, 10; '
         '4 notes\nTrack 2: no channel messages; 0 notes\n(Track .*\n){14}Track 17: channel 3; 1 note; kept unchanged'
         '.*\none.mid\n' + ANY + 'Track 1: channel 1; 1 note\n', 'varnook-cli: nothing was saved.*\n', {}),
        ('one.mid --style musical --time-shift all=10ms --pitch-shift 1=10c --velocity-shift 1=5 --seed 2 -o x.mid', 0,
         ANY + 'Seed 2\nTrack 1: time shift moved 0 of 1 note, at most 0 ticks \\(0.0 ms\\); pitch shift added 0 '
         'bends \\(0 notes bent, 0 left as their channel was held\\); velocity shift changed [01] notes?\n' + saved, '', {'x.mid': lambda d: len(d) == len(ONE)}),
        ('one.mid -o %s/copy.mid' % LONG, 0, saved, '', {LONG + '/copy.mid': ONE}),
        ('one.mid -o readonly.mid', 1, failed, 'varnook-cli: readonly.mid: .+\n', {'readonly.mid': b'old'}),
        ('one.mid -o out', 1, failed, 'varnook-cli: out: Is a directory\n', {}),  # a folder is never replaced
        ('one.mid -o link.mid', 0, saved, '', {'link.mid': lambda d: d == ONE and os.path.islink('link.mid'),
                                               'real.mid': ONE}),
    ] + [(args + ' -o copy.mid', 2, ANY,  # given -o: a usage error that went unnoticed would save a file
          "varnook-cli: %s\nTry 'varnook-cli --help'\\.\n" % re.escape(reason), {'copy.mid': None})
         for args, reason in [('--bogus one.mid', "unknown option '--bogus'"),
                              ('one.mid --time-shift 2=5', '--time-shift 2=5: the file has 1 track')]
    ] + ([] if WINDOWS else [  # nothing like these under Windows
        # Not a regular file: written into, the FIFO stays one.
        ('one.mid -o pipe.mid', 0, saved, '', {'pipe.mid': lambda d: os.read(PIPE, 99) == ONE}),
        ('one.mid -o private.mid', 0, saved, '',
         {'private.mid': lambda d: d == ONE and stat.S_IMODE(os.stat('private.mid').st_mode) == 0o640}),
        ('one.mid -o real.mid', 1, failed, 'varnook-cli: real.mid: File too large\n', {'real.mid': b'old'},
         lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (0, 0))),
    ])


def run(cli, args, cwd='.', stdin=b'', **extra):
    done = subprocess.run(['wine'] * cli.endswith('.exe') + [cli] + args, cwd=cwd, input=stdin, capture_output=True,
                          timeout=120, **extra)  # a hang fails the run rather than stall it
    text = lambda b: b.decode('utf-8', 'replace').replace('\r\n', '\n')
    return done.returncode, done.stdout, text(done.stdout), text(done.stderr)


def prepare(work):
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(os.path.join(work, LONG))
    os.chdir(work)
    os.mkdir('out')
    for name, data in FILES.items():
        Path(name).write_bytes(data)
    os.chmod('private.mid', 0o640)
    os.chmod('readonly.mid', 0o444)
    os.symlink('real.mid', 'link.mid')
    os.mkfifo('pipe.mid') if not WINDOWS else None


def contract(cli, work, version):
    global PIPE
    failures = []
    for args, status, out, err, files, *before in rows(version):
        prepare(work)
        PIPE = os.open('pipe.mid', os.O_RDONLY | os.O_NONBLOCK) if 'pipe.mid' in args else None
        got, raw, out_text, err_text = run(cli, args.split(), stdin=ONE if args[:2] == '- ' else b'',
                                           preexec_fn=before[0] if before else None)
        problems = ['exit %d, expected %d' % (got, status)] if got != status else []
        for label, want, text in ('stdout', out, raw if out == ONE else out_text), ('stderr', err, err_text):
            problems += [] if text == want or re.fullmatch(want, text) else ['%s was:\n%s' % (label, text)]
        for path, want in files.items():
            data = Path(path).read_bytes() if os.path.isfile(path) else None
            problems += [] if (want(data) if callable(want) else data == want) else ['%s afterwards: %r' % (path, data)]
        left = [n for n in os.listdir('.') if n.startswith('.vk-')]
        failures += ['%s: %s' % (args, p) for p in problems + (['temporary files left: %s' % left] if left else [])]
    return failures + seeds(cli) + (wildcards(cli, work) if WINDOWS else interrupted(cli, work))


def wildcards(cli, work):
    """Through Wine's cmd, which passes *.mid on unexpanded as Windows shells do, the tool expands it itself."""
    prepare(work)
    os.mkdir('wild')
    for name, data in ('a.mid', ONE), ('b.mid', TWO), ('c.txt', ONE):
        Path('wild', name).write_bytes(data)
    z = lambda path: 'Z:' + os.path.abspath(path).replace('/', '\\')
    go = lambda pattern: subprocess.run(['wine', 'cmd', '/c', '%s %s\\%s -d %s' % (z(cli), z('wild'), pattern,
                                                                                    z('out'))], capture_output=True)
    done, failures = go('*.mid'), []
    if done.returncode or sorted(os.listdir('out')) != ['a.mid', 'b.mid'] or Path('out/b.mid').read_bytes() != TWO:
        failures.append('wildcard: exit %d, saved %s: %s' % (done.returncode, os.listdir('out'), done.stderr))
    done = go('*.xyz')
    if done.returncode != 1 or b'*.xyz: no file matches' not in done.stderr:
        failures.append('wildcard matching nothing: exit %d: %s' % (done.returncode, done.stderr))
    return failures


def interrupted(cli, work):
    """SIGTERM while a large song is being saved: the target stays as it was, no temporary file is left."""
    prepare(work)
    subprocess.run([sys.executable, str(Path(__file__).parents[2] / 'bench' / 'gen_big_midi.py'), 'big.mid', '1'],
                   check=True)
    for _ in range(5):  # until the signal meets the save itself, not the reading or the pressing before it
        tool = subprocess.Popen([cli, 'big.mid', '--pitch-shift', 'all=20', '-o', 'real.mid'],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        while tool.poll() is None and not any(n.startswith('.vk-') for n in os.listdir('.')):
            time.sleep(0.0005)
        tool.send_signal(signal.SIGTERM)
        if tool.wait() == -signal.SIGTERM:
            left = [n for n in os.listdir('.') if n.startswith('.vk-')]
            ok = not left and Path('real.mid').read_bytes() == b'old'
            return [] if ok else ['interrupted save left %s, real.mid %d bytes' % (left, os.path.getsize('real.mid'))]
    return ['interrupted save: the save ended before the signal, five times']


def seeds(cli):
    """A drawn seed is logged and replays; a second press goes on with the sequence rather than start it again; a
    velocity shift changes velocities only, the time and pitch draws staying those of the same seed without it."""
    def go(target, *more, source='two.mid'):
        return run(cli, [source, *AMOUNTS, *more, '-o', target])[2], Path(target).read_bytes()

    (log, plain), (other, _) = go('a.mid'), go('b.mid')
    seed = re.findall(r'^Seed (\d+)$', log, re.M)
    if len(seed) != 1 or seed == re.findall(r'^Seed (\d+)$', other, re.M):
        return ['drawn seeds: two runs in a row logged\n%s\n%s' % (log, other)]
    loud = go('loud.mid', '--seed', seed[0], '--velocity-shift', 'all=20')[1]
    # Every Note On carries its status once bent: a velocity is the byte two after a 0x9n status.
    moved = [p for p in range(len(plain)) if plain[p] != loud[p]] if len(plain) == len(loud) else None
    go('once.mid', '--seed', '9')
    checks = {'the logged seed gave other bytes': go('replay.mid', '--seed', seed[0])[1] == plain,
              'a velocity shift changed more than velocities: %s' % moved:
                  moved and all(plain[p - 2] & 0xF0 == 0x90 for p in moved),
              'press 2 replayed the seed': go('twice.mid', '--seed', '9', '--presses', '2')[1] != go(
                  'again.mid', '--seed', '9', source='once.mid')[1]}
    return [name for name, ok in checks.items() if not ok]


def main(cli, version):
    global WINDOWS
    WINDOWS, work = cli.endswith('.exe'), os.path.abspath('cli-contract')
    os.environ.update(WINEDEBUG='-all', LANG='C.UTF-8')
    # Wine starts its services anew (seconds) for each program unless one runs: an idle cmd keeps them up. The tool
    # runs only once cmd answers: two programs starting Wine's services at once can hang.
    keeper = subprocess.Popen(['wine', 'cmd', '/k', 'echo ready'], stdin=-1, stdout=-1) if WINDOWS else None
    while keeper and keeper.stdout.readline().strip() not in (b'ready', b''):
        pass
    try:
        failures = contract(cli, work, version)
    finally:
        if keeper:
            keeper.stdin.close()
            keeper.wait(60)
    print(''.join('FAIL %s\n' % f for f in failures) + ('%d failure(s)' % len(failures) if failures else 'all passed'))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:]))
