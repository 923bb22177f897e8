#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/midi_builder.h"

namespace {

// The first `count` sample files of at most `maxBytes`.
std::vector<std::vector<uint8_t>> smallSamples(uintmax_t maxBytes, size_t count) {
  std::vector<std::vector<uint8_t>> picked;
  for (const auto& path : sampleMidiFiles()) {
    if (picked.size() < count && std::filesystem::file_size(path) <= maxBytes) {
      picked.push_back(readFileBytes(path));
    }
  }
  return picked;
}

}  // namespace

// Whatever the bytes, loading reads nothing outside them (the sanitizer run
// sees any stray read: each input is an exact-size copy) and what is saved
// reads back without complaint and saves to the same bytes.
TEST(MidiRobustness, EveryPrefixOfRealFilesLoadsAndSavesToAFixedPoint) {
  SKIP_WITHOUT_SAMPLES();
  for (const std::vector<uint8_t>& bytes : smallSamples(4000, 4)) {
    for (size_t n = 0; n <= bytes.size(); ++n) {
      const std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<long>(n));
      ASSERT_EQ(fixedPointProblem(prefix.data(), prefix.size()), "") << "cut to " << n << " bytes";
    }
  }
}

TEST(MidiRobustness, DamageToAnySingleByteOfARealFileIsSurvived) {
  SKIP_WITHOUT_SAMPLES();
  for (const std::vector<uint8_t>& bytes : smallSamples(1200, 1)) {
    for (size_t i = 0; i < bytes.size(); ++i) {
      for (const int value : {0x00, 0x7F, 0x80, 0xFF, bytes[i] ^ 0x01}) {
        std::vector<uint8_t> damaged = bytes;
        damaged[i] = static_cast<uint8_t>(value);
        ASSERT_EQ(fixedPointProblem(damaged.data(), damaged.size()), "")
            << "byte " << i << " set to " << value;
      }
    }
  }
}
