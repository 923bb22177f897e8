// One press of Transform on currentSong, in place.
//
// Seeds the process-wide randomSource once, then treats tracks 1 to
// trackCount in order: a time-shift walk when the slot's timeShift is not 0
// (logs "Track %d Time shift transformed"), then pitch bends when its
// pitchShift is not 0 (logs "Track %d Pitch shift transformed"); track
// numbers in the log count from 1. The amounts are left as they are, so
// presses accumulate. currentSong must not be null.
#pragma once

#include <cstdint>

// One press, seeded from the calendar clock in whole seconds.
void transformSong();

// The same press with the random source seeded with `seed`: the same song,
// amounts and seed always give the same result.
void transformSong(uint32_t seed);
