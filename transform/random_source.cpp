#include "transform/random_source.h"

void seedRandomSource(RandomSource& source, uint32_t seed) {
  source.state = seed;
  source.draws = 0;
}

int32_t nextRandom(RandomSource& source) {
  ++source.draws;
  if (source.scriptedNext < source.scriptedCount) {
    return source.scripted[source.scriptedNext++] & kRandomMax;
  }
  // Unsigned arithmetic wraps modulo 2^32, which is exactly the generator's
  // modulus; bit 31 of the state is never part of the result.
  source.state = source.state * 214013u + 2531011u;
  return static_cast<int32_t>((source.state >> 16) & kRandomMax);
}

int32_t drawAround(RandomSource& source, int32_t amount) {
  // Both operands are non-negative, so the remainder is too and the draw
  // reaches −amount but stops at amount − 1.
  return nextRandom(source) % (2 * amount) - amount;
}
