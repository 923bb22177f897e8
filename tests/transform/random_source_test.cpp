#include "transform/random_source.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/transform/chain_helpers.h"

TEST(RandomSource, SeedOneGivesTheGeneratorsWellKnownOpening) {
  RandomSource source;
  seedRandomSource(source, 1);
  std::vector<int> first;
  for (int i = 0; i < 5; ++i) first.push_back(nextRandom(source));
  EXPECT_EQ(first, (std::vector<int>{41, 18467, 6334, 26500, 19169}));
}

TEST(RandomSource, FollowsTheRecurrenceForSeveralSeeds) {
  for (uint32_t seed : {0u, 1u, 2u, 12345u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
    RandomSource source;
    seedRandomSource(source, seed);
    ReferenceGenerator reference(seed);
    for (int i = 0; i < 1000; ++i) {
      ASSERT_EQ(nextRandom(source), reference.next()) << "seed " << seed << " draw " << i;
    }
    EXPECT_EQ(source.draws, 1000u);
  }
}

TEST(RandomSource, ReseedingRestartsTheSequence) {
  RandomSource source;
  seedRandomSource(source, 99);
  int first = nextRandom(source);
  nextRandom(source);
  seedRandomSource(source, 99);
  EXPECT_EQ(nextRandom(source), first);
  EXPECT_EQ(source.draws, 1u);
}

TEST(RandomSource, DrawsStayWithinMinusAmountToAmountMinusOneAndReachBothEnds) {
  for (int amount : {1, 2, 10, 64, 200}) {
    RandomSource source;
    seedRandomSource(source, static_cast<uint32_t>(amount));
    int low = amount, high = -amount - 1;
    for (int i = 0; i < 200000; ++i) {
      int draw = drawAround(source, amount);
      ASSERT_GE(draw, -amount);
      ASSERT_LE(draw, amount - 1);
      low = std::min(low, draw);
      high = std::max(high, draw);
    }
    EXPECT_EQ(low, -amount) << "amount " << amount;
    EXPECT_EQ(high, amount - 1) << "amount " << amount;
  }
}

TEST(RandomSource, ScriptedValuesComeFirstThenTheGenerator) {
  ScriptedSource scripted({25, 0, 32767});
  seedRandomSource(scripted.source, 1);
  EXPECT_EQ(nextRandom(scripted.source), 25);
  EXPECT_EQ(drawAround(scripted.source, 10), -10);
  EXPECT_EQ(drawAround(scripted.source, 10), 32767 % 20 - 10);
  EXPECT_EQ(nextRandom(scripted.source), 41);  // seed 1's first value
  EXPECT_EQ(scripted.source.draws, 4u);
}
