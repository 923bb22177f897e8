#include "transform/musical_random.h"

MusicalRandom musicalStream(uint32_t seed, MusicalStream stream, uint32_t track) {
  MusicalRandom random{};
  random.state = (static_cast<uint64_t>(seed) << 32) ^ (static_cast<uint64_t>(stream) << 28) ^
                 static_cast<uint64_t>(track);
  // Neighbouring seeds and tracks give states that differ in a few bits;
  // one step of the mixer spreads them before the first draw.
  random.state = nextBits(random);
  return random;
}

MusicalRandom onsetStream(uint32_t seed, MusicalStream stream, int64_t tick, uint32_t channel) {
  MusicalRandom random = musicalStream(seed, stream, channel);
  random.state ^= static_cast<uint64_t>(tick) * 0xD1B54A32D192ED03ull;
  random.state = nextBits(random);
  return random;
}

uint64_t nextBits(MusicalRandom& random) {
  uint64_t z = (random.state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// The 53 top bits plus a half, scaled. Every step is exact in double
// arithmetic.
double uniformDraw(MusicalRandom& random) {
  const double unit = (static_cast<double>(nextBits(random) >> 11) + 0.5) * 0x1p-53;
  return unit * 2.0 - 1.0;
}

double bellDraw(MusicalRandom& random) {
  // A player's spread clusters around the written time and thins out towards
  // the edges; the sum of three uniforms has that shape and, unlike a
  // clipped normal, a hard bound of its own.
  const double a = uniformDraw(random);
  const double b = uniformDraw(random);
  const double c = uniformDraw(random);
  return (a + b + c) / 3.0;
}
