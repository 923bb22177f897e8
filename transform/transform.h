// Humanises currentSong in place: for each loaded track, a time-shift walk
// when its timeShift is not 0, then pitch bends before its Note Ons when its
// pitchShift is not 0, each followed by its log line. currentSong must not
// be null.
#pragma once

#include <cstdint>

// One press of Transform, seeded from the calendar clock in whole seconds.
void transformSong();

// The same press with the random source seeded with `seed`: the same song,
// amounts and seed always give the same result.
void transformSong(uint32_t seed);
