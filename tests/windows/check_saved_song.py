#!/usr/bin/python3
"""Checks a song that the window saved after a Transform, with mido as an
independent reader.

    check_saved_song.py INPUT OUTPUT PLAN
        PLAN has one line per track: "number timeShift pitchShift".
    check_saved_song.py --well-formed-only OUTPUT

Well-formed: the chunks tile the file exactly, the header's track count
matches, every track ends with End of Track, and mido reads it.
Against the input, per track:
  - every Note On of a track with pitch shift A has a Pitch Bend right
    before it, on its channel, at its tick, low byte 0 and high byte in
    64-A .. 63+A; no other event is added, and none to other tracks;
  - the other events are the input's, in the input's order;
  - with time shift A every event lies within -A .. A-1 ticks of its input
    tick (the test song keeps moved notes far enough apart that no carry
    can pile up); without it every event keeps its tick.
Prints one line per check and exits 1 on the first failure.
"""
import struct
import sys

import mido


def fail(message):
    print(f"FAIL: {message}")
    sys.exit(1)


def well_formed(path):
    data = open(path, "rb").read()
    if data[:4] != b"MThd" or struct.unpack(">I", data[4:8])[0] != 6:
        fail(f"{path}: no 6-byte MThd header")
    _, tracks, _ = struct.unpack(">HHH", data[8:14])
    offset, found = 14, 0
    while offset < len(data):
        if offset + 8 > len(data):
            fail(f"{path}: {len(data) - offset} stray bytes after the last chunk")
        kind, length = data[offset:offset + 4], struct.unpack(">I", data[offset + 4:offset + 8])[0]
        end = offset + 8 + length
        if end > len(data):
            fail(f"{path}: chunk at {offset} runs past the end of the file")
        if kind == b"MTrk":
            found += 1
            if data[end - 3:end] != b"\xff\x2f\x00":
                fail(f"{path}: track {found} does not end with End of Track")
        offset = end
    if found != tracks:
        fail(f"{path}: header says {tracks} tracks, file has {found}")
    song = mido.MidiFile(path)
    for number, track in enumerate(song.tracks, 1):
        ends = [i for i, m in enumerate(track) if m.type == "end_of_track"]
        if ends != [len(track) - 1]:
            fail(f"{path}: track {number} has End of Track at {ends} of {len(track)} events")
    print(f"ok: {path} is well-formed: {found} tracks, {len(data)} bytes, mido reads it")
    return song


def timed(track):
    tick, out = 0, []
    for message in track:
        tick += message.time
        out.append((tick, message))
    return out


def check_track(number, before, after, time_shift, pitch_shift):
    events_in, events_out = timed(before), timed(after)
    kept = []
    bends = 0
    for i, (tick, message) in enumerate(events_out):
        if message.type == "pitchwheel" and pitch_shift:
            if i + 1 >= len(events_out) or events_out[i + 1][1].type != "note_on":
                fail(f"track {number}: a Pitch Bend at tick {tick} is not directly before a Note On")
            note_tick, note = events_out[i + 1]
            raw = message.pitch + 8192
            low, high = raw & 0x7F, raw >> 7
            if message.channel != note.channel or note_tick != tick:
                fail(f"track {number}: bend at tick {tick} channel {message.channel} before a note "
                     f"at tick {note_tick} channel {note.channel}")
            if low != 0 or not 64 - pitch_shift <= high <= 63 + pitch_shift:
                fail(f"track {number}: bend bytes {low}, {high} outside 0, {64 - pitch_shift}..{63 + pitch_shift}")
            bends += 1
            continue
        if message.type == "note_on" and pitch_shift:
            if i == 0 or events_out[i - 1][1].type != "pitchwheel":
                fail(f"track {number}: Note On at tick {tick} has no Pitch Bend before it")
        kept.append((tick, message))
    if len(kept) != len(events_in):
        fail(f"track {number}: {len(events_in)} events in, {len(kept)} out besides the bends")
    lo, hi = (-time_shift, time_shift - 1) if time_shift else (0, 0)
    for index, ((tick_in, m_in), (tick_out, m_out)) in enumerate(zip(events_in, kept)):
        if m_in.copy(time=0) != m_out.copy(time=0):
            fail(f"track {number}: event {index} was {m_in!r}, is {m_out!r}")
        if not lo <= tick_out - tick_in <= hi:
            fail(f"track {number}: event {index} ({m_in.type}) moved from tick {tick_in} to {tick_out}, "
                 f"outside {lo}..{hi}")
    notes = sum(1 for _, m in events_in if m.type == "note_on")
    if pitch_shift and bends != notes:
        fail(f"track {number}: {bends} bends for {notes} Note Ons")
    moved = sum(1 for (a, _), (b, _) in zip(events_in, kept) if a != b)
    print(f"ok: track {number} (time {time_shift}, pitch {pitch_shift}): {len(kept)} events in order, "
          f"{moved} moved within {lo}..{hi}, {bends} bends before {notes} Note Ons")
    return moved


def main(argv):
    if len(argv) == 3 and argv[1] == "--well-formed-only":
        well_formed(argv[2])
        return
    if len(argv) != 4:
        fail("usage: check_saved_song.py INPUT OUTPUT PLAN | --well-formed-only OUTPUT")
    song_in = mido.MidiFile(argv[1])
    song_out = well_formed(argv[2])
    plan = [tuple(int(x) for x in line.split()) for line in open(argv[3]) if line.strip()]
    if (song_out.type, song_out.ticks_per_beat, len(song_out.tracks)) != (
            song_in.type, song_in.ticks_per_beat, len(song_in.tracks)):
        fail("format, division or track count changed")
    if len(plan) != len(song_in.tracks):
        fail(f"plan has {len(plan)} tracks, the song {len(song_in.tracks)}")
    moved = 0
    for (number, time_shift, pitch_shift), before, after in zip(plan, song_in.tracks, song_out.tracks):
        moved += check_track(number, before, after, time_shift, pitch_shift)
    # With 20 and 15 ticks of jitter on 20-odd notes, none moving at all would
    # mean the time shift never ran.
    if any(t for _, t, _ in plan) and moved == 0:
        fail("time shift was set but no event moved")
    print(f"ok: {argv[2]} matches {argv[1]} under the plan")


if __name__ == "__main__":
    main(sys.argv)
