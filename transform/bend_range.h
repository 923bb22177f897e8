// How far a full Pitch Bend reaches on each channel, as the file sets it.
//
// A channel's bend range is registered parameter 0: Control Change 101 and
// 100 with 0 select it, then Data Entry 6 gives the semitones and 38 the
// cents. BendRangeReader reads those from a track, message by message (each
// track its own selection, since a track sets up its channels in its own
// order); a channel the file never sets keeps the General MIDI range of 2
// semitones.
#pragma once

#include <cstdint>
#include <vector>

#include "song/midi.h"

struct BendRangeChange {
  int64_t tick;
  int32_t cents;
};

struct BendRanges {
  std::vector<BendRangeChange> changes[kChannelCount];  // per channel, by tick
};

constexpr int32_t kDefaultBendRangeCents = 200;

// One track's changes, read message by message: each goes in its channel's
// list as it comes.
class BendRangeReader {
 public:
  void read(const ChannelMessage& message, int64_t tick, BendRanges& ranges) {
    if (message.isChannel && messageKind(message.status) == kControlChange)
      readControl(message, tick, ranges);
  }

 private:
  void readControl(const ChannelMessage& message, int64_t tick, BendRanges& ranges);

  // What the track has selected and entered on one channel so far. 127/127
  // is the null parameter: nothing selected.
  struct ParameterState {
    uint8_t msb = 127;
    uint8_t lsb = 127;
    int32_t semitones = 2;
    int32_t cents = 0;
  };
  ParameterState state_[kChannelCount];
};

// Once every track's changes are read, one track's after another's: puts
// each channel's in order of tick, those of one tick in the order read.
void sortBendRanges(BendRanges& ranges);

// The range in force on `channel` at `tick`, in cents either way.
int32_t bendRangeAt(const BendRanges& ranges, int channel, int64_t tick);
