// The time-shift walk over one track.
//
// applyTimeShift moves every Note Off, Note On and running-status event
// after the head that has a non-zero delta time by a draw from −A to A − 1
// ticks (A = slot.timeShift, 1..200), and takes each displacement out again
// at the next such event so the track does not drift: every event, the End
// of Track included, ends within −A .. A − 1 ticks of where it was. It
// writes deltaTime only, allocates nothing and draws once per such event
// from `random`. Every delta time it writes is at most kMaxDeltaTime.
// Returns how many events after the head moved and the largest distance
// (in ticks, either way) that one moved.
#pragma once

#include <cstdint>

#include "song/song.h"
#include "transform/random_source.h"

struct TimeShiftSummary {
  int32_t eventsMoved = 0;
  int64_t largestMove = 0;
};

TimeShiftSummary applyTimeShift(TrackSlot& slot, RandomSource& random);
