// What a press must keep, checked from the outside and without a test framework, so that the unit
// tests and the pipeline fuzz target share it. Each returns "" when all holds, else the first
// broken promise and where.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "song/song.h"
#include "transform/musical_amounts.h"

// One event as a player hears it: its tick and, for a channel message, the message with running
// status resolved; other events by all their bytes. `delta` and `stored` (the status byte) as the
// chain holds them.
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

// Loads `image`, presses it in the musical style and checks it against the song before, track by
// track and over the whole song (see press_check.cpp; `enoughMovement`: see pipelineProblem), then
// that the same seed gives the same bytes. Leaves the song pressed.
std::string musicalPressProblem(const std::vector<uint8_t>& image,
                                const std::vector<TrackAmounts>& amounts, uint32_t seed,
                                bool enoughMovement = false);

// The whole way a song goes, from `data`: a MIDI image and 11 bytes of settings. Loaded, pressed in
// either style and checked (classic: one to three presses, each with a velocity shift, the events
// in order and sound, within -A .. A - 1 ticks, bends added only on a bent track, the velocities
// changed as counted; musical: as above, with `enoughMovement` where every track takes the time
// amount in ms: on a real file, half the notes of each track of 50 or more move where a tick is
// finer than a quarter of the amount), saved, and the saved file read back with what lies outside
// the tracks as it was. Settings: control (bit 0 musical; bits 1-2 classic presses - 1, 3 counting
// as 0; bit 3 musical time in ms), the seed (4 bytes, least significant first), the time, pitch and
// velocity amounts (each modulo one more than its style's limit), and for each a mask: track t
// takes the amount when bit t % 8 is set, else half of it when bit (t + 4) % 8 is. "" for an image
// without a MIDI header, which Load refuses.
std::string pipelineProblem(const uint8_t* data, size_t size, bool enoughMovement = false);
