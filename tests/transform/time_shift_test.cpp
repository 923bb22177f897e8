#include "transform/time_shift.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "song/song.h"
#include "tests/transform/chain_helpers.h"
#include "tests/transform/press_checks.h"

namespace {

std::vector<uint32_t> deltas(const TrackSlot& slot) {
  std::vector<uint32_t> out;
  for (const EventFields& e : trackEvents(slot)) out.push_back(e.deltaTime);
  return out;
}

}  // namespace

TEST(TimeShift, FirstWorkedExampleMovesNotesAndCarriesControllerAlong) {
  TrackSlot slot;
  buildTrack(slot, {
                       {0, 0xFF, 0x03, 0, 2},   // head: empty track name
                       {96, 0x90, 60, 100, 2},  // Note On
                       {0, 0x90, 64, 100, 2},   // Note On, same chord
                       {48, 0x80, 60, 0, 2},    // Note Off
                       {10, 0xB0, 7, 100, 2},   // Control Change
                       {38, 0x80, 64, 0, 2},    // Note Off
                       {0, 0xFF, 0x2F, 0, 2},   // End of Track
                   });
  slot.timeShift = 10;
  ScriptedSource draws(rawForDraws({+5, -7, +3}, 10));
  applyTimeShift(slot, draws.source);
  EXPECT_EQ(deltas(slot), (std::vector<uint32_t>{0, 101, 0, 36, 10, 48, 0}));
  EXPECT_EQ(absoluteTicks(slot), (std::vector<uint64_t>{0, 101, 101, 137, 147, 195, 195}));
  EXPECT_EQ(draws.source.draws, 3u);
}

TEST(TimeShift, SecondWorkedExampleKeepsResidueAndDropsTooLargeNegativeJitter) {
  TrackSlot slot;
  buildTrack(slot, {
                       {0, 0x90, 50, 1, 2},    // head
                       {30, 0x90, 60, 90, 2},  // Note On
                       {5, 0x80, 60, 0, 2},    // Note Off
                       {40, 0x90, 62, 90, 2},  // Note On
                       {0, 0xFF, 0x2F, 0, 2},
                   });
  slot.timeShift = 30;
  ScriptedSource draws(rawForDraws({+20, -4, -3}, 30));
  applyTimeShift(slot, draws.source);
  // 50 (carry 20); 0 with residue 15, -4 dropped; 25 then -3 = 22 (carry -3).
  EXPECT_EQ(deltas(slot), (std::vector<uint32_t>{0, 50, 0, 22, 0}));
  EXPECT_EQ(absoluteTicks(slot), (std::vector<uint64_t>{0, 50, 50, 72, 72}));
}

TEST(TimeShift, OnlyNotesAndRunningStatusWithNonZeroDeltaDrawAndMove) {
  TrackSlot slot;
  buildTrack(slot, {
                       {7, 0x90, 60, 100, 2},   // head keeps its delta whatever it is
                       {10, 0xA0, 60, 10, 2},   // poly pressure: own status, passed over
                       {10, 0xB0, 1, 2, 2},     // control change
                       {10, 0xC0, 5, 0, 1},     // program change
                       {10, 0xD0, 5, 0, 1},     // channel pressure
                       {10, 0xE0, 0, 64, 2},    // pitch bend
                       {10, 0xF0, 1, 0xF7, 2},  // sysex
                       {10, 0xFF, 0x01, 0, 2},  // meta
                       {0, 0x90, 62, 90, 2},    // delta 0: passed over
                       {10, 0x3C, 40, 0, 1},    // running status (two data bytes)
                       {10, 0x05, 0, 0, 0},     // running status (one data byte)
                       {10, 0x8F, 60, 0, 2},    // Note Off on channel 16
                       {0, 0xFF, 0x2F, 0, 2},
                   });
  slot.timeShift = 5;
  // All +4: each eligible event lands 4 late, so each delta after the first
  // is settled back by 4 and pushed out by 4 again.
  ScriptedSource draws(rawForDraws({4, 4, 4, 4}, 5));
  applyTimeShift(slot, draws.source);
  EXPECT_EQ(deltas(slot), (std::vector<uint32_t>{7, 10, 10, 10, 10, 10, 10, 10, 0, 14, 10, 10, 0}));
  EXPECT_EQ(draws.source.draws, 3u);  // the two running-status events and the Note Off
  ScriptedSource again(rawForDraws({-5, -5, -5}, 5));
  applyTimeShift(slot, again.source);
  EXPECT_EQ(deltas(slot), (std::vector<uint32_t>{7, 10, 10, 10, 10, 10, 10, 10, 0, 9, 10, 10, 0}));
}

TEST(TimeShift, EmptyTrackOrHeadOnlyDrawsNothing) {
  TrackSlot headOnly;
  buildTrack(headOnly, {{0, 0xFF, 0x2F, 0, 2}});
  headOnly.timeShift = 200;
  RandomSource source;
  applyTimeShift(headOnly, source);
  EXPECT_EQ(source.draws, 0u);
  TrackSlot empty;
  empty.timeShift = 1;
  applyTimeShift(empty, source);
  EXPECT_EQ(source.draws, 0u);
}

TEST(TimeShift, NeverLengthensADeltaPastFourBytes) {
  constexpr uint32_t kMax = 0x0FFFFFFF;
  TrackSlot slot;
  buildTrack(slot, {
                       {0, 0xFF, 0x03, 0, 2},
                       {30, 0x90, 60, 100, 2},        // -20: 20 early
                       {kMax - 5, 0x80, 60, 0, 2},    // settling needs +20, 5 fit; then -2
                       {kMax - 3, 0x90, 60, 100, 2},  // settles to kMax; +10 is dropped
                       {kMax + 100, 0x80, 60, 0, 2},  // already beyond (damaged file)
                       {0, 0xFF, 0x2F, 0, 2},
                   });
  slot.timeShift = 20;
  ScriptedSource draws(rawForDraws({-20, -2, +10, -20}, 20));
  applyTimeShift(slot, draws.source);
  // The damaged delta is not made longer by the carry; -20 shortens it.
  EXPECT_EQ(deltas(slot), (std::vector<uint32_t>{0, 10, kMax - 2, kMax, kMax + 80, 0}));

  TrackSlot early;
  buildTrack(early, {
                        {0, 0xFF, 0x03, 0, 2},
                        {30, 0x90, 60, 100, 2},      // 20 early
                        {kMax - 5, 0x80, 60, 0, 2},  // settle can add only 5: 15 early
                        {100, 0x90, 60, 100, 2},     // the rest is taken out here
                        {0, 0xFF, 0x2F, 0, 2},
                    });
  early.timeShift = 20;
  ScriptedSource more(rawForDraws({-20, 0, 0}, 20));
  applyTimeShift(early, more.source);
  EXPECT_EQ(deltas(early), (std::vector<uint32_t>{0, 10, kMax, 115, 0}));
  EXPECT_EQ(absoluteTicks(early).back(), 30u + (kMax - 5) + 100u);
}

TEST(TimeShift, InvariantsHoldOverManySeedsAndAmounts) {
  std::mt19937 rng(2024);
  for (uint32_t seed = 1; seed <= 200; ++seed) {
    const int amount = 1 + static_cast<int>(seed * 37 % 200);
    Song song;
    song.trackCount = 1;
    TrackSlot& slot = song.tracks[0];
    buildTrack(slot, randomTrack(rng, 400));
    slot.timeShift = amount;
    const std::vector<TrackSnapshot> before = snapshotSong(song);
    RandomSource source;
    seedRandomSource(source, seed);
    applyTimeShift(slot, source);
    checkSongPress(before, song, seed, "seed " + std::to_string(seed));
    if (::testing::Test::HasFailure()) break;
  }
}
