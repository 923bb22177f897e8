// What a press must keep, checked from the outside and without a test
// framework, so that the unit tests and the pipeline fuzz target share it.
// Each returns "" when all holds, else the first broken promise and where.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "song/song.h"
#include "transform/musical_amounts.h"

// One event as a player hears it: its tick and, for a channel message, the
// message with running status resolved; other events by all their bytes.
// `delta` and `stored` (the status byte) as the chain holds them.
struct Heard {
  const MidiEvent* ptr;
  int64_t tick;
  uint32_t delta;
  uint8_t stored;
  bool channel;
  uint8_t status, d1, d2;
  std::vector<uint8_t> bytes;
};
using SongHeard = std::vector<std::vector<Heard>>;  // per track, in the order of trackAt
SongHeard hearSong(const Song& song);

// Classic presses, then a velocity shift of velocity[t] on each track t: the
// events keep their order and sound (Note On velocities may move by up to the
// amount, into 1..127) and land within -A .. A - 1 ticks of where they were
// (A = timeShift); each added event is a bend right before a Note On of its
// channel and tick, bytes 0 and 64 - P .. 63 + P but not 0 (P = pitchShift).
std::string classicPressProblem(const SongHeard& before, const Song& after,
                                const std::vector<int32_t>& velocity = {});

// Loads `image`, presses it in the musical style and checks it against the
// song before, track by track and over the whole song (onsets, gestures,
// what changes a note's sound, bends: see press_check.cpp), then that the
// same seed gives the same bytes. With `enoughMovement`, on a real file
// whose tracks all have one time amount in ms, half the notes of each track of 50
// or more move where a tick is finer than a quarter of the amount (a made-up
// song may pack its notes too tightly). Leaves the song pressed.
std::string musicalPressProblem(const std::vector<uint8_t>& image,
                                const std::vector<TrackAmounts>& amounts, uint32_t seed,
                                bool enoughMovement = false);

// `written`, saved after presses of the song saved as `unpressed`, reads back
// without a damage line to the same bytes, with as many tracks, and with what
// lies outside the tracks and after each track's events as it was.
std::string writtenFileProblem(const std::vector<uint8_t>& unpressed,
                               const std::vector<uint8_t>& written);
