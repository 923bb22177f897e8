// The time-shift walk over one track.
//
// applyTimeShift moves every Note Off, Note On and running-status event
// after the head that has a non-zero delta time by a draw from −A to A − 1
// ticks (A = slot.timeShift, 1..200), and takes each displacement out again
// at the next such event so the track does not drift. It writes deltaTime
// only, allocates nothing and draws once per such event from `random`.
// Every delta time it writes is at most kMaxDeltaTime.
#pragma once

#include "song/song.h"
#include "transform/random_source.h"

void applyTimeShift(TrackSlot& slot, RandomSource& random = randomSource);
