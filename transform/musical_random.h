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

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

struct MusicalRandom {
  uint64_t state;
};

enum class MusicalStream : uint32_t { kTime = 1, kPitch = 2, kVelocity = 3, kShared = 4 };

inline uint64_t nextBits(MusicalRandom& random) {
  uint64_t z = (random.state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

inline MusicalRandom musicalStream(uint32_t seed, MusicalStream stream, uint32_t track) {
  MusicalRandom random{};
  random.state = (static_cast<uint64_t>(seed) << 32) ^ (static_cast<uint64_t>(stream) << 28) ^
                 static_cast<uint64_t>(track);
  // Neighbouring seeds and tracks give states that differ in a few bits;
  // one step of the mixer spreads them before the first draw.
  random.state = nextBits(random);
  return random;
}

// The streams of one kind for channels 0 to N - 1, from which each onset's
// stream starts (onsetStream): made once for all the onsets of a press.
template <size_t N>
std::array<MusicalRandom, N> channelStreams(uint32_t seed, MusicalStream stream) {
  std::array<MusicalRandom, N> streams;
  uint32_t channel = 0;
  std::generate(streams.begin(), streams.end(),
                [&] { return musicalStream(seed, stream, channel++); });
  return streams;
}

// A stream for one onset alone, picked by its written tick as well: its
// draws depend on no other onset's. From the stream of its channel
// (musicalStream of the seed, the stream and the channel), which a caller
// drawing for many onsets makes once.
inline MusicalRandom onsetStream(MusicalRandom channelStream, int64_t tick) {
  channelStream.state ^= static_cast<uint64_t>(tick) * 0xD1B54A32D192ED03ull;
  channelStream.state = nextBits(channelStream);
  return channelStream;
}

// Uniform in (-1, 1), symmetric around 0: the 53 top bits plus a half,
// scaled. Every step is exact in double arithmetic.
inline double uniformDraw(MusicalRandom& random) {
  const double unit = (static_cast<double>(nextBits(random) >> 11) + 0.5) * 0x1p-53;
  return unit * 2.0 - 1.0;
}

// A bell-shaped number strictly between -1 and 1, symmetric around 0: the
// mean of three uniform numbers (standard deviation 1/3; fewer than 2 in 100
// fall beyond +-0.75). A player's spread clusters around the written time
// and thins out towards the edges; the sum of three uniforms has that shape
// and, unlike a clipped normal, a hard bound of its own.
inline double bellDraw(MusicalRandom& random) {
  const double a = uniformDraw(random);
  const double b = uniformDraw(random);
  const double c = uniformDraw(random);
  return (a + b + c) / 3.0;
}
