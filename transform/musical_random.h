// The random streams of the musical style and of the velocity shift.
//
// Each stream is a 64-bit SplitMix generator of its own, picked by the run's
// seed, a stream number and a track number, so that a draw of one kind never
// moves the draws of another: adding a pitch shift leaves the time moves as
// they were, a velocity shift leaves the classic generator untouched, and a
// change to one track's amounts leaves the other tracks alone. Everything is
// integer or exactly rounded arithmetic: the same seed gives the same values
// on every platform.
#pragma once

#include <cstdint>

struct MusicalRandom {
  uint64_t state;
};

enum class MusicalStream : uint32_t { kTime = 1, kPitch = 2, kVelocity = 3, kShared = 4 };

MusicalRandom musicalStream(uint32_t seed, MusicalStream stream, uint32_t track);
// A stream for one onset alone, picked by its written tick and its channel
// as well: its draws depend on no other onset's.
MusicalRandom onsetStream(uint32_t seed, MusicalStream stream, int64_t tick, uint32_t channel);

uint64_t nextBits(MusicalRandom& random);

// Uniform in (-1, 1), symmetric around 0.
double uniformDraw(MusicalRandom& random);

// A bell-shaped number strictly between -1 and 1, symmetric around 0: the
// mean of three uniform numbers (standard deviation 1/3; fewer than 2 in 100
// fall beyond +-0.75).
double bellDraw(MusicalRandom& random);
