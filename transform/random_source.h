// The transformer's random source: a 15-bit linear congruential generator
// that gives the same sequence on every platform (state × 214013 + 2531011
// modulo 2^32, result bits 16 to 30 of the new state).
//
// A RandomSource is plain state; nothing in it allocates. For tests it can
// replay a list of raw results instead (`scripted`), so a walk can be driven
// with draws chosen by hand. `draws` counts every result handed out.
#pragma once

#include <cstdint>

struct RandomSource {
  uint32_t state{};
  // When not null, nextRandom returns these values in turn (each 0..32767)
  // instead of stepping the generator; past the end it falls back to it.
  const uint16_t* scripted = nullptr;
  int32_t scriptedCount = 0;
  int32_t scriptedNext = 0;
  uint32_t draws = 0;
};

constexpr int32_t kRandomMax = 0x7FFF;

// Sets the generator's state to `seed` and clears the draw count. A
// scripted list stays attached.
void seedRandomSource(RandomSource& source, uint32_t seed);

// The next number, 0..kRandomMax.
int32_t nextRandom(RandomSource& source);

// One draw around zero: nextRandom() mod (2 × amount) − amount, a number
// from −amount to amount − 1. `amount` must be 1 or more.
int32_t drawAround(RandomSource& source, int32_t amount);
