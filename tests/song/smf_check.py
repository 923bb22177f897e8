#!/usr/bin/python3
"""Checks on Standard MIDI Files, independent of the program's own reader.

  smf_check.py eligible FILE   exit 0 when FILE is a well-formed file that
                               must come back byte for byte from a load and
                               a save, 1 otherwise (the reason on stdout)
  smf_check.py mido FILE...    exit 0 when mido reads every FILE
"""
import sys

META_MIN_LENGTH = {0x20: 1, 0x51: 3, 0x54: 5, 0x58: 4, 0x59: 2}


def read_varlen(data, pos, end):
    """A quantity in its shortest form of at most four bytes, or None."""
    value = 0
    start = pos
    while True:
        if pos >= end or pos - start >= 4:
            return None
        byte = data[pos]
        pos += 1
        value = (value << 7) | (byte & 0x7F)
        if byte < 0x80:
            break
    if pos - start > 1 and data[start] == 0x80:
        return None  # not the shortest form
    return value, pos


def meta_usable(kind, payload):
    if kind == 0x00:
        return len(payload) != 1
    if len(payload) < META_MIN_LENGTH.get(kind, 0):
        return False
    if kind == 0x54:
        return payload[1] < 60 and payload[2] < 60 and payload[4] < 100
    if kind == 0x59:
        sharps = payload[0] - 256 if payload[0] >= 128 else payload[0]
        return -7 <= sharps <= 7 and payload[1] <= 1
    return True


def check_track(data, pos, end):
    running = 0
    cancelled = False
    while True:
        got = read_varlen(data, pos, end)
        if got is None:
            return "bad delta time at %d" % pos
        _, pos = got
        if pos >= end:
            return "track ends after a delta time"
        status = data[pos]
        pos += 1
        if status < 0x80:
            if running == 0 or cancelled:
                return "running status without a channel status at %d" % pos
            count = 1 if 0xC0 <= running <= 0xDF else 2
            pos -= 1
        elif status < 0xF0:
            running, cancelled = status, False
            count = 1 if 0xC0 <= status <= 0xDF else 2
        elif status in (0xF0, 0xF7, 0xFF):
            kind = None
            if status == 0xFF:
                if pos >= end:
                    return "cut meta event"
                kind = data[pos]
                pos += 1
            got = read_varlen(data, pos, end)
            if got is None:
                return "bad length at %d" % pos
            length, pos = got
            if pos + length > end:
                return "event runs past the chunk"
            payload = data[pos:pos + length]
            pos += length
            cancelled = running != 0
            if status == 0xFF:
                if kind == 0x2F:
                    if length != 0:
                        return "End of Track with data"
                    return None if pos == end else "bytes after End of Track"
                if not meta_usable(kind, payload):
                    return "meaningless meta event"
            else:
                inner = [b for i, b in enumerate(payload)
                         if not (i == 0 and b == 0xF0) and not (i == len(payload) - 1 and b == 0xF7)]
                if any(b >= 0x80 for b in inner):
                    return "status byte inside system exclusive"
            continue
        else:
            return "system message 0x%02X in a track" % status
        if pos + count > end:
            return "channel message runs past the chunk"
        if any(b >= 0x80 for b in data[pos:pos + count]):
            return "status byte where a data byte belongs"
        pos += count


def eligible(path):
    data = open(path, "rb").read()
    if len(data) < 14 or data[:8] != b"MThd\x00\x00\x00\x06":
        return "no 6-byte MThd header"
    if data[8] != 0 or data[10] != 0:
        return "format or track count above 255"
    declared = data[11]
    pos, tracks = 14, 0
    while pos < len(data):
        if pos + 8 > len(data):
            return "trailing bytes"
        tag, length = data[pos:pos + 4], int.from_bytes(data[pos + 4:pos + 8], "big")
        if tag != b"MTrk":
            return "chunk %r" % tag
        end = pos + 8 + length
        if end > len(data):
            return "chunk runs past the file"
        problem = check_track(data, pos + 8, end)
        if problem:
            return "track %d: %s" % (tracks + 1, problem)
        if b"MTrk" in data[pos + 8:end]:
            return "track tag inside a track"
        tracks += 1
        pos = end
    if tracks != declared or tracks > 16:
        return "%d tracks, %d declared" % (tracks, declared)
    return None


def main():
    if len(sys.argv) >= 3 and sys.argv[1] == "eligible":
        problem = eligible(sys.argv[2])
        print(problem or "eligible")
        return 1 if problem else 0
    if len(sys.argv) >= 3 and sys.argv[1] == "mido":
        import mido
        bad = 0
        for path in sys.argv[2:]:
            try:
                mido.MidiFile(path)
            except Exception as error:  # any refusal counts
                print("mido refuses %s: %s: %s" % (path, type(error).__name__, error))
                bad += 1
        return 1 if bad else 0
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main())
