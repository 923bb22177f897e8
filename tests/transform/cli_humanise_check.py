#!/usr/bin/python3
"""Checks varnook-cli's humanising from the outside.

Usage: cli_humanise_check.py CHECK VARNOOK_CLI TESTDATA_DIR

CHECK is one of: reproducible, time-shift, pitch-shift, usage.
The output files are read with mido, a MIDI reader that shares no code with
ours; the expected timing is worked out here from the input file's own bytes
(which events stand under running status) and the generator's recurrence.
Exits 77 (skipped) when the sample folder or mido is missing.
"""
import os
import subprocess
import sys
import tempfile

SKIP = 77
MAX_TRACKS = 16

try:
    import mido
except ImportError:
    print("SKIP: mido is not importable by this python (/usr/bin/python3 has it)")
    sys.exit(SKIP)


class Generator:
    """state * 214013 + 2531011 mod 2^32; result bits 16..30."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def around(self, amount):
        self.state = (self.state * 214013 + 2531011) & 0xFFFFFFFF
        return ((self.state >> 16) & 0x7FFF) % (2 * amount) - amount


def raw_tracks(data):
    """(delta, first byte after the delta) of each event in each MTrk chunk,
    walking chunks by their lengths; None unless the file is plainly
    well-formed: only MTrk chunks after the header, each ending with its End
    of Track exactly at the chunk's end, no bytes after the last chunk."""
    if data[:4] != b"MThd":
        return None
    pos = 8 + int.from_bytes(data[4:8], "big")
    tracks = []
    while pos + 8 <= len(data):
        tag, length = data[pos:pos + 4], int.from_bytes(data[pos + 4:pos + 8], "big")
        body, pos = data[pos + 8:pos + 8 + length], pos + 8 + length
        if tag != b"MTrk" or pos > len(data):
            return None
        events, p, running, ended = [], 0, 0, False
        while p < len(body):
            delta = 0
            while True:
                c = body[p]
                p += 1
                delta = (delta << 7) | (c & 0x7F)
                if c < 0x80:
                    break
            first = body[p]
            status = first
            if first < 0x80:
                status = running
            else:
                p += 1
            if status == 0xFF:
                mtype = body[p]
                p += 1
                n, p = read_vlq(body, p)
                p += n
                events.append((delta, first))
                if mtype == 0x2F:
                    ended = True
                    break
                continue
            if status in (0xF0, 0xF7):
                n, p = read_vlq(body, p)
                p += n
            elif 0x80 <= status < 0xF0:
                running = status
                p += 1 if 0xC0 <= status < 0xE0 else 2
            else:
                return None
            events.append((delta, first))
        if not ended or p != len(body):
            return None
        tracks.append(events)
    if pos != len(data):
        return None
    return tracks


def read_vlq(body, p):
    v = 0
    while True:
        c = body[p]
        p += 1
        v = (v << 7) | (c & 0x7F)
        if c < 0x80:
            return v, p


def absolute(track):
    ticks, t = [], 0
    for msg in track:
        t += msg.time
        ticks.append(t)
    return ticks


def same_message(a, b):
    return a.dict() | {"time": 0} == b.dict() | {"time": 0}


def run_cli(cli, args, out=None):
    command = [cli] + args + (["-o", out] if out else [])
    return subprocess.run(command, capture_output=True, text=True)


def sample_files(folder):
    """The sample files that are clean enough to compare event by event:
    mido reads them strictly and the raw walk agrees with it."""
    chosen = []
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".mid"):
            continue
        path = os.path.join(folder, name)
        try:
            midi = mido.MidiFile(path)
        except Exception:
            continue
        with open(path, "rb") as f:
            raw = raw_tracks(f.read())
        if not raw or len(raw) != len(midi.tracks):
            continue
        if any(len(r) != len(t) for r, t in zip(raw, midi.tracks)):
            continue
        chosen.append((path, midi, raw))
    return chosen


class Checker:
    def __init__(self):
        self.failures = 0

    def expect(self, condition, message):
        if not condition:
            self.failures += 1
            if self.failures <= 20:
                print("FAIL:", message)
        return condition


def expected_time_shift(raw, amount, generator):
    """Predicted displacement of each event of one track."""
    moved, carried = [0], 0
    for delta, first in raw[1:]:
        if first >= 0xA0 or delta == 0:
            moved.append(carried)
            continue
        jitter = generator.around(amount)
        residue = carried - delta if carried > delta else 0
        settled = delta - carried + residue
        applied = jitter > 0 or settled > -jitter
        carried = residue + (jitter if applied else 0)
        moved.append(carried)
    return moved


def check_time_shift(cli, files, tmp, check):
    for index, (path, midi, raw) in enumerate(files):
        amount = 1 + (index * 41) % 200
        seed = 1000 + index
        out = os.path.join(tmp, "time.mid")
        result = run_cli(cli, [path, "--time-shift", f"all={amount}", "--seed", str(seed)], out)
        if not check.expect(result.returncode == 0, f"{path}: exit {result.returncode}"):
            continue
        humanised = mido.MidiFile(out)
        generator = Generator(seed)
        count = min(len(raw), MAX_TRACKS)
        check.expect(len(humanised.tracks) == count, f"{path}: track count")
        for t, (before, after) in enumerate(zip(midi.tracks[:count], humanised.tracks)):
            where = f"{os.path.basename(path)} track {t + 1}"
            if not check.expect(len(before) == len(after), f"{where}: event count changed"):
                continue
            check.expect(all(same_message(a, b) for a, b in zip(before, after)),
                         f"{where}: a message changed beyond its time")
            moved = expected_time_shift(raw[t], amount, generator)
            got = [a - b for a, b in zip(absolute(after), absolute(before))]
            check.expect(got == moved, f"{where}: displacements differ from the prediction")
            check.expect(got[-1] == moved[-1], f"{where}: End of Track drifted")
        check.expect(f"Track 1 Time shift transformed" in result.stdout.splitlines(),
                     f"{path}: no log line on standard output")


def check_pitch_shift(cli, files, tmp, check):
    for index, (path, midi, raw) in enumerate(files):
        amount = 64 if index % 5 == 0 else 1 + (index * 7) % 64
        seed = 5000 + index
        out = os.path.join(tmp, "pitch.mid")
        result = run_cli(cli, [path, "--pitch-shift", f"all={amount}", "--seed", str(seed)], out)
        if not check.expect(result.returncode == 0, f"{path}: exit {result.returncode}"):
            continue
        humanised = mido.MidiFile(out)
        generator = Generator(seed)
        for t, (before, after) in enumerate(zip(midi.tracks[:MAX_TRACKS], humanised.tracks)):
            check_bends(before, after, amount, generator, check,
                        f"{os.path.basename(path)} track {t + 1}")


def check_bends(before, after, amount, generator, check, where):
    """Every input event is still there at its tick, in order; whatever else
    the output holds is a bend directly before a Note On after the head, one
    per non-zero draw, on the note's channel and tick, with the drawn value.
    An inserted bend always stands before a Note On, where the input has no
    pitchwheel, so matching the input greedily tells the two apart."""
    old_ticks, new_ticks = absolute(before), absolute(after)
    j, previous_inserted = 0, False
    for k, msg in enumerate(after):
        if j < len(before) and same_message(msg, before[j]):
            if not check.expect(new_ticks[k] == old_ticks[j], f"{where}: event {j} moved"):
                return
            if j > 0 and msg.type == "note_on":
                value = generator.around(amount) + 64
                if value == 0:
                    ok = not previous_inserted
                else:
                    bend = after[k - 1]
                    ok = (previous_inserted and bend.channel == msg.channel
                          and bend.pitch == (value - 64) * 128 and new_ticks[k - 1] == new_ticks[k])
                if not check.expect(ok, f"{where}: bend before event {j} (draw {value})"):
                    return
            j += 1
            previous_inserted = False
        else:
            if not check.expect(msg.type == "pitchwheel" and not previous_inserted,
                                f"{where}: unexpected {msg} at {k}"):
                return
            previous_inserted = True
    check.expect(j == len(before) and not previous_inserted, f"{where}: original events missing")


def check_reproducible(cli, files, tmp, check):
    for index, (path, midi, raw) in enumerate(files):
        args = [path, "--time-shift", "all=60", "--pitch-shift", "all=30", "--presses", "2"]
        outputs = []
        for run, seed in enumerate((777, 777, 778)):
            out = os.path.join(tmp, f"out{run}.mid")
            result = run_cli(cli, args + ["--seed", str(seed)], out)
            if not check.expect(result.returncode == 0, f"{path}: exit {result.returncode}"):
                break
            with open(out, "rb") as f:
                outputs.append(f.read())
        if len(outputs) < 3:
            continue
        check.expect(outputs[0] == outputs[1], f"{path}: same seed, different bytes")
        has_notes = any(m.type == "note_on" for t in midi.tracks[:MAX_TRACKS] for m in t[1:])
        if has_notes:
            check.expect(outputs[0] != outputs[2], f"{path}: another seed, the same bytes")
        try:
            mido.MidiFile(os.path.join(tmp, "out0.mid"))
        except Exception as error:
            check.expect(False, f"{path}: output not readable by mido: {error}")


def check_usage(cli, files, tmp, check):
    path, midi, raw = min(files, key=lambda f: (len(f[2]), os.path.getsize(f[0])))
    tracks = min(len(raw), MAX_TRACKS)
    out = os.path.join(tmp, "usage.mid")
    for bad in (["--time-shift", "1=201"], ["--time-shift", "1=-1"], ["--pitch-shift", "1=65"],
                ["--time-shift", f"{tracks + 1}=10"], ["--pitch-shift", "0=10"],
                ["--time-shift", "x=10"], ["--time-shift", "1"], ["--pitch-shift", "all=abc"]):
        result = run_cli(cli, [path] + bad, out)
        check.expect(result.returncode == 2, f"{bad}: exit {result.returncode}, not 2")
        check.expect((result.stderr + result.stdout).strip() != "", f"{bad}: no message")
        check.expect(not os.path.exists(out), f"{bad}: an output file was written")
    for good in (["--time-shift", "1=200"], ["--pitch-shift", f"{tracks}=64"],
                 ["--time-shift", "all=0", "--pitch-shift", "all=0"]):
        result = run_cli(cli, [path] + good + ["--seed", "1"], out)
        check.expect(result.returncode == 0, f"{good}: exit {result.returncode}: {result.stderr}")
    result = run_cli(cli, [path, "--time-shift", "all=5", "--pitch-shift", "1=5", "--seed", "9"],
                     out)
    lines = [l for l in result.stdout.splitlines() if l.startswith("Track ")]
    want = []
    for n in range(1, tracks + 1):
        want.append(f"Track {n} Time shift transformed")
        if n == 1:
            want.append("Track 1 Pitch shift transformed")
    check.expect(lines == want, f"log lines {lines}, expected {want}")


CHECKS = {
    "reproducible": check_reproducible,
    "time-shift": check_time_shift,
    "pitch-shift": check_pitch_shift,
    "usage": check_usage,
}


def main():
    check_name, cli, folder = sys.argv[1], sys.argv[2], sys.argv[3]
    if not os.path.isdir(folder):
        print(f"SKIP: no sample MIDI files in {folder}")
        return SKIP
    files = sample_files(folder)
    if not files:
        print(f"SKIP: no sample file in {folder} that mido reads cleanly")
        return SKIP
    check = Checker()
    with tempfile.TemporaryDirectory() as tmp:
        if check_name not in CHECKS:
            print("unknown check", check_name)
            return 2
        CHECKS[check_name](cli, files, tmp, check)
    print(f"{check_name}: {len(files)} files, {check.failures} failures")
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main())
