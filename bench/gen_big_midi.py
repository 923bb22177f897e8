#!/usr/bin/python3
"""Writes a large, realistic Standard MIDI File for the benchmark.

  gen_big_midi.py OUT.mid [SCALE]

16 tracks with about 62,500 events each at SCALE 1 (about 1,000,000 in all,
about 5 MB): notes with and without running status, controllers, program
changes, pitch bends, and now and then a long lyric (a meta event whose
length takes two bytes). The content is fixed: the same SCALE always gives
the same bytes.
"""
import random
import sys


def varlen(value):
    groups = [value & 0x7F]
    value >>= 7
    while value:
        groups.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(groups))


def track(rng, channel, events):
    out = bytearray()
    out += b"\x00\xff\x03" + varlen(9) + b"Track %2d " % channel
    running = 0
    count = 1
    pitch = 60
    while count < events - 1:
        kind = rng.random()
        delta = rng.choice((0, 0, 12, 24, 48, 96, 120, 240, 480))
        if kind < 0.005:
            text = bytes(rng.randrange(32, 127) for _ in range(rng.randrange(130, 400)))
            out += varlen(delta) + b"\xff\x05" + varlen(len(text)) + text
            running = 0
        elif kind < 0.02:
            out += varlen(delta) + bytes((0xB0 | channel, rng.randrange(120), rng.randrange(128)))
            running = 0xB0 | channel
        elif kind < 0.025:
            out += varlen(delta) + bytes((0xC0 | channel, rng.randrange(128)))
            running = 0xC0 | channel
        elif kind < 0.05:
            out += varlen(delta) + bytes((0xE0 | channel, 0, rng.randrange(128)))
            running = 0xE0 | channel
        else:
            # A note: Note On, later Note On with velocity 0 (the usual
            # running-status note off), sometimes as a full Note Off.
            pitch = max(24, min(100, pitch + rng.randrange(-5, 6)))
            status = 0x90 | channel
            on = bytes((pitch, rng.randrange(40, 120)))
            out += varlen(delta) + (on if running == status else bytes((status,)) + on)
            running = status
            off_delta = rng.choice((24, 48, 96, 120))
            if rng.random() < 0.2:
                out += varlen(off_delta) + bytes((0x80 | channel, pitch, 64))
                running = 0x80 | channel
            else:
                off = bytes((pitch, 0))
                out += varlen(off_delta) + (off if running == status else bytes((status,)) + off)
            count += 1
        count += 1
    out += b"\x00\xff\x2f\x00"
    return b"MTrk" + len(out).to_bytes(4, "big") + bytes(out)


def main():
    path = sys.argv[1]
    scale = float(sys.argv[2]) if len(sys.argv) > 2 else 1.0
    rng = random.Random(1234)
    per_track = int(62500 * scale)
    data = bytearray(b"MThd\x00\x00\x00\x06\x00\x01\x00\x10\x01\xe0")
    for channel in range(16):
        data += track(rng, channel, per_track)
    with open(path, "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main()
