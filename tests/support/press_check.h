// Checks of what a press and a save must keep, written without a test
// framework so that the tests and the pipeline fuzz target call the same
// code. Each returns "" when all holds, else what broke and where.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "song/song.h"
#include "support/midi_builder.h"
#include "transform/song_tracks.h"
#include "transform/transform.h"

// A song's chains as they stood before a press: each track's events (by
// field), their absolute ticks, and where each event node stood, so that the
// nodes a press adds can be told from the ones it moved.
struct SongSnapshot {
  struct Track {
    Events events;
    std::vector<int64_t> ticks;
    std::unordered_map<const MidiEvent*, size_t> index;
  };
  std::vector<Track> tracks;
};
SongSnapshot snapshotSong(const Song& song);

// One classic press, from the song before it and after it: in every track
// the original events keep their order and their bytes (running status may
// be spelled out) and each lands within -A .. A - 1 ticks of where it was
// (A = timeShift; an event with delta 0 or a status from 0xA0 up moves with
// the one before it); every added event is a Pitch Bend right before a Note
// On of its channel, on its tick, low byte 0, high byte 64 - P .. 63 + P and
// not 0 (P = pitchShift); `summaries` (one per track, in the order of
// trackAt; missing ones count as zeros) counts what moved and what was added.
std::string classicPressProblem(const SongSnapshot& before, const Song& after,
                                const std::vector<TrackPressSummary>& summaries);

// A velocity shift of `amounts[t]` on each track t (missing: 0): only the
// velocities of Note Ons from 1 to 127 (running status included) changed,
// each by at most its amount and into 1..127.
std::string velocityShiftProblem(const SongSnapshot& before, const Song& after,
                                 const std::vector<int32_t>& amounts);

// A file as the reader splits it into pieces, walked by the lengths its own
// bytes declare: each track chunk (tag to end, in track order), and what lies
// outside the tracks (the header, other bytes, what a track chunk holds after
// its events), RIFF sizes and pad bytes left out since they follow what
// they contain.
struct FileLayout {
  std::vector<std::vector<uint8_t>> tracks;
  std::vector<std::vector<uint8_t>> outside;
};
// Reads `file` (leaving currentSong as read) and walks it; "" when every
// track chunk's length ends it where the next piece begins, the pieces cover
// the file, every RIFF size is what follows it up to what it sizes, and the
// header counts the tracks.
std::string fileLayoutProblem(const std::vector<uint8_t>& file, FileLayout& layout);

// A file the writer made: laid out right (fileLayoutProblem), it holds
// `tracks` tracks, and it reads back without a damage line and saves to the
// very same bytes. Leaves currentSong as read from `written`.
std::string writtenFileProblem(const std::vector<uint8_t>& written, int tracks);
