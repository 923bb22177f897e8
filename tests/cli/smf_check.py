"""Structure of a Standard MIDI File, walked byte by byte; no value is judged (a data byte of 0x80 or more or a key
signature of 8 sharps is kept as it is). scan(data) raises Broken when chunks or events are out of step: chunk lengths
that do not add up, an event past its chunk, a track not ending with End of Track exactly at its chunk's end. It
returns what a plain Load + Save may change: an empty list means the bytes must come back unchanged."""

CHANNEL_DATA = {0xC: 1, 0xD: 1}  # program change, channel pressure; the rest take 2
SYSTEM_DATA = {0xF1: 1, 0xF2: 2, 0xF3: 1, 0xF6: 0, 0xF8: 0, 0xFA: 0, 0xFB: 0, 0xFC: 0, 0xFE: 0}  # F4 F5 F9 FD: none


class Broken(Exception):
    pass


def quantity(data, at, end):
    """(value, position after it, whether in its shortest form)."""
    value = 0
    for k in range(4):
        if at + k >= end:
            raise Broken('quantity cut at %d' % at)
        value = value << 7 | data[at + k] & 0x7F
        if data[at + k] < 0x80:
            return value, at + k + 1, k == 0 or data[at] != 0x80
    raise Broken('quantity longer than four bytes at %d' % at)


def track(data, at, end):
    """Walks one track's events; True when every delta time is in shortest form."""
    running, shortest = 0, True
    while True:
        _, at, short = quantity(data, at, end)
        shortest &= short
        if at >= end:
            raise Broken('track ends after a delta time at %d' % at)
        status = data[at]
        at += 1
        if status < 0x80:  # running status: this byte was the first data byte
            at += CHANNEL_DATA.get(running >> 4, 2) - 1
        elif status < 0xF0:
            running = status
            at += CHANNEL_DATA.get(status >> 4, 2)
        elif status in (0xF0, 0xF7, 0xFF):
            kind = data[at] if status == 0xFF and at < end else None
            at += status == 0xFF
            length, at, _ = quantity(data, at, end)
            at += length
            if kind == 0x2F and at != end:
                raise Broken('End of Track at %d, chunk ends at %d' % (at, end))
            if kind == 0x2F:
                return shortest
        elif status in SYSTEM_DATA:
            at += SYSTEM_DATA[status]
        else:
            raise Broken('undefined status %02X at %d' % (status, at - 1))
        if at > end:
            raise Broken('event runs past its chunk (ends %d)' % end)


def scan(data):
    if data[:8] != b'MThd\0\0\0\6' or len(data) < 14:
        raise Broken('no 6-byte MThd header')
    changes = [] if data[8] == 0 and data[10] == 0 else ['format or track count above 255']
    at, tracks = 14, 0
    while at < len(data):
        if at + 8 > len(data):
            raise Broken('%d bytes after the last chunk' % (len(data) - at))
        tag, end = data[at:at + 4], at + 8 + int.from_bytes(data[at + 4:at + 8], 'big')
        if end > len(data):
            raise Broken('chunk at %d runs past the file' % at)
        if tag != b'MTrk':
            changes.append('chunk %r' % tag)
        elif not track(data, at + 8, end):
            changes.append('delta time not in shortest form')
        tracks += tag == b'MTrk'
        at = end
    if tracks != int.from_bytes(data[10:12], 'big'):
        changes.append('%d tracks, %d declared' % (tracks, int.from_bytes(data[10:12], 'big')))
    return changes

