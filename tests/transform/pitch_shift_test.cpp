#include "transform/pitch_shift.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "song/song.h"
#include "tests/transform/chain_helpers.h"
#include "tests/transform/press_checks.h"

TEST(PitchShift, WorkedExampleExpandsRunningStatusAndBendsTheRunningNoteOn) {
  TrackSlot slot;
  buildTrack(slot, {
                       {0, 0x91, 60, 100, 2},  // head, Note On
                       {48, 64, 100, 0, 1},    // running status: Note On 64
                       {48, 0x81, 60, 0, 2},   // Note Off
                       {0, 64, 0, 0, 1},       // running status: Note Off 64
                       {0, 0xFF, 0x2F, 0, 2},  // End of Track
                   });
  slot.pitchShift = 10;
  ScriptedSource draws({25});  // 25 mod 20 - 10 + 64 = 59
  applyPitchShift(slot, draws.source);
  EXPECT_EQ(trackEvents(slot), (std::vector<EventFields>{
                                   {0, 0x91, 60, 100, 2},  // head: no bend
                                   {48, 0xE1, 0, 59, 2},   // inserted Pitch Bend
                                   {0, 0x91, 64, 100, 2},  // expanded Note On
                                   {48, 0x81, 60, 0, 2},
                                   {0, 0x81, 64, 0, 2},  // expanded Note Off
                                   {0, 0xFF, 0x2F, 0, 2},
                               }));
  EXPECT_EQ(draws.source.draws, 1u);
}

TEST(PitchShift, ExpansionFollowsTheLastChannelStatusAcrossMetaAndSysex) {
  TrackSlot slot;
  buildTrack(slot, {
                       {0, 0xFF, 0x03, 0, 2},  // head: a meta event, no status to lend
                       {0, 0x30, 5, 0, 1},     // no channel status yet: kept as read
                       {10, 0xC3, 7, 0, 1},    // Program Change
                       {10, 0x08, 0, 0, 0},    // running, one data byte
                       {10, 0xB2, 7, 100, 2},  // Control Change
                       {0, 0xFF, 0x01, 0, 2},  // meta in between
                       {0, 0xF0, 1, 0xF7, 2},  // sysex in between
                       {10, 0x0A, 20, 0, 1},   // running, two data bytes: still 0xB2
                       {0, 0xFF, 0x2F, 0, 2},
                   });
  expandRunningStatus(slot);
  EXPECT_EQ(trackEvents(slot), (std::vector<EventFields>{
                                   {0, 0xFF, 0x03, 0, 2},
                                   {0, 0x30, 5, 0, 1},
                                   {10, 0xC3, 7, 0, 1},
                                   {10, 0xC3, 0x08, 0, 1},
                                   {10, 0xB2, 7, 100, 2},
                                   {0, 0xFF, 0x01, 0, 2},
                                   {0, 0xF0, 1, 0xF7, 2},
                                   {10, 0xB2, 0x0A, 20, 2},
                                   {0, 0xFF, 0x2F, 0, 2},
                               }));
}

TEST(PitchShift, RunningStatusRightAfterTheHeadTakesTheHeadsStatus) {
  TrackSlot slot;
  buildTrack(slot, {{0, 0x9F, 60, 1, 2}, {5, 62, 2, 0, 1}, {0, 0xFF, 0x2F, 0, 2}});
  slot.pitchShift = 1;
  ScriptedSource draws({1});  // 1 mod 2 - 1 + 64 = 64: a centred bend
  applyPitchShift(slot, draws.source);
  EXPECT_EQ(trackEvents(slot), (std::vector<EventFields>{
                                   {0, 0x9F, 60, 1, 2},
                                   {5, 0xEF, 0, 64, 2},
                                   {0, 0x9F, 62, 2, 2},
                                   {0, 0xFF, 0x2F, 0, 2},
                               }));
}

TEST(PitchShift, OnlyNoteOnsGetBendsVelocityZeroIncluded) {
  TrackSlot slot;
  buildTrack(slot, {
                       {0, 0x90, 60, 100, 2},   // head Note On: never bent
                       {10, 0x80, 60, 0, 2},    // Note Off
                       {10, 0xA0, 60, 5, 2},    // pressure
                       {10, 0xB0, 1, 5, 2},     // controller
                       {10, 0xE0, 0, 70, 2},    // a bend already there
                       {10, 0x95, 61, 0, 2},    // Note On, velocity 0
                       {10, 0xFF, 0x01, 0, 2},  // meta
                       {0, 0xFF, 0x2F, 0, 2},
                   });
  slot.pitchShift = 32;
  ScriptedSource draws({0});  // 0 mod 64 - 32 + 64 = 32
  applyPitchShift(slot, draws.source);
  EXPECT_EQ(draws.source.draws, 1u);
  std::vector<EventFields> got = trackEvents(slot);
  ASSERT_EQ(got.size(), 9u);
  EXPECT_EQ(got[5], (EventFields{10, 0xE5, 0, 32, 2}));
  EXPECT_EQ(got[6], (EventFields{0, 0x95, 61, 0, 2}));
}

TEST(PitchShift, AmountSixtyFourSkipsBendByteZeroButInsertsCentre) {
  TrackSlot slot;
  buildTrack(slot, {
                       {0, 0xFF, 0x03, 0, 2},
                       {10, 0x90, 60, 100, 2},
                       {20, 0x90, 62, 100, 2},
                       {30, 0x90, 64, 100, 2},
                       {0, 0xFF, 0x2F, 0, 2},
                   });
  slot.pitchShift = 64;
  ScriptedSource draws({128 * 3, 64, 127});  // bytes 0, 64, 127
  insertPitchBends(slot, draws.source);
  EXPECT_EQ(trackEvents(slot), (std::vector<EventFields>{
                                   {0, 0xFF, 0x03, 0, 2},
                                   {10, 0x90, 60, 100, 2},  // byte 0: left alone
                                   {20, 0xE0, 0, 64, 2},
                                   {0, 0x90, 62, 100, 2},
                                   {30, 0xE0, 0, 127, 2},
                                   {0, 0x90, 64, 100, 2},
                                   {0, 0xFF, 0x2F, 0, 2},
                               }));
}

TEST(PitchShift, HeadOnlyTrackIsLeftAloneAndDrawsNothing) {
  TrackSlot slot;
  buildTrack(slot, {{0, 0x90, 60, 100, 2}});
  slot.pitchShift = 64;
  RandomSource source;
  applyPitchShift(slot, source);
  EXPECT_EQ(source.draws, 0u);
  EXPECT_EQ(trackEvents(slot), (std::vector<EventFields>{{0, 0x90, 60, 100, 2}}));
}

TEST(PitchShift, SecondPressPutsANewBendBetweenTheOldOneAndTheNote) {
  TrackSlot slot;
  buildTrack(slot, {{0, 0xFF, 0x03, 0, 2}, {96, 0x92, 60, 100, 2}, {0, 0xFF, 0x2F, 0, 2}});
  slot.pitchShift = 10;
  ScriptedSource first({0});  // byte 54
  applyPitchShift(slot, first.source);
  ScriptedSource second({19});  // byte 73
  applyPitchShift(slot, second.source);
  EXPECT_EQ(trackEvents(slot), (std::vector<EventFields>{
                                   {0, 0xFF, 0x03, 0, 2},
                                   {96, 0xE2, 0, 54, 2},
                                   {0, 0xE2, 0, 73, 2},
                                   {0, 0x92, 60, 100, 2},
                                   {0, 0xFF, 0x2F, 0, 2},
                               }));
}

TEST(PitchShift, InvariantsHoldOverManySeedsAndAmounts) {
  std::mt19937 rng(99);
  for (uint32_t seed = 1; seed <= 200; ++seed) {
    const int amount = 1 + static_cast<int>(seed * 13 % 64);
    Song song;
    song.trackCount = 1;
    TrackSlot& slot = song.tracks[0];
    buildTrack(slot, randomTrack(rng, 400));
    slot.pitchShift = seed % 10 == 0 ? 64 : amount;
    const std::vector<TrackSnapshot> before = snapshotSong(song);
    RandomSource source;
    seedRandomSource(source, seed);
    applyPitchShift(slot, source);
    checkSongPress(before, song, seed, "seed " + std::to_string(seed));
    for (const EventFields& e : trackEvents(slot)) ASSERT_GE(e.status, 0x80) << "seed " << seed;
    if (::testing::Test::HasFailure()) break;
  }
}
