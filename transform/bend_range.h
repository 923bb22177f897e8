// How far a full Pitch Bend reaches on each channel, as the file sets it.
//
// A channel's bend range is registered parameter 0: Control Change 101 and
// 100 with 0 select it, then Data Entry 6 gives the semitones and 38 the
// cents. buildBendRanges reads those from every track (in each track its
// own selection, since a track sets up its channels in its own order); a
// channel the file never sets keeps the General MIDI range of 2 semitones.
#pragma once

#include <cstdint>
#include <vector>

#include "song/midi.h"

struct Song;

struct BendRangeChange {
  int64_t tick;
  int32_t cents;
};

struct BendRanges {
  std::vector<BendRangeChange> changes[kChannelCount];  // per channel, by tick
};

constexpr int32_t kDefaultBendRangeCents = 200;

BendRanges buildBendRanges(const Song& song);

// The range in force on `channel` at `tick`, in cents either way.
int32_t bendRangeAt(const BendRanges& ranges, int channel, int64_t tick);
