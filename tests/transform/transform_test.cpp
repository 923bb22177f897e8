#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "support/midi_builder.h"
#include "support/press_check.h"
#include "transform/classic_press.h"
#include "transform/pitch_shift.h"
#include "transform/press_log.h"
#include "transform/tempo_map.h"
#include "transform/time_shift.h"
#include "transform/work_parts.h"

namespace {

constexpr uint32_t kMax = kMaxDeltaTime;
// clang-format off
const Events kFirstExample = {{0, 0xFF, 3, 0, 2}, {96, 0x90, 60, 100, 2}, {0, 0x90, 64, 100, 2},
    {48, 0x80, 60, 0, 2}, {10, 0xB0, 7, 100, 2}, {38, 0x80, 64, 0, 2}, kEnd};
const Events kSecondExample = {{0, 0x90, 50, 1, 2}, {30, 0x90, 60, 90, 2}, {5, 0x80, 60, 0, 2},
    {40, 0x90, 62, 90, 2}, kEnd};
// clang-format on

const std::string kFirstExampleBytes =  // a name, a chord, Note Off, controller, Note Off
    "00 FF 03 00  60 90 3C 64  00 90 40 64  30 80 3C 00  0A B0 07 64  26 80 40 00  00 FF 2F 00";

}  // namespace

TEST(RandomSource, SeedOneOpensWithTheWellKnownValues) {
  RandomSource source;
  seedRandomSource(source, 1);
  for (const int value : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(nextRandom(source), value);
}

// Raw draws r give r mod 2A - A (A: the amount); the deltas, how many events moved and the largest
// move are worked out by hand.
TEST(TimeShift, MovesNotesByTheirDrawsAndTakesTheDisplacementOutAgain) {
  // clang-format off
  const struct { const char* name; Events track; int amount; std::vector<uint16_t> raw;
                 std::vector<uint32_t> want; int32_t moved; int64_t largest; } cases[] = {
      {"first worked example: 5, -7, 3", kFirstExample, 10, {35, 23, 13}, {0, 101, 0, 36, 10, 48, 0}, 6, 7},
      {"20, -4, -3: residue kept, too large a negative jitter dropped", kSecondExample, 30, {50, 26, 27}, {0, 50, 0, 22, 0}, 4, 20},
      {"20, 10, -3: an event still late drops a positive jitter", kSecondExample, 30, {110, 40, 27}, {0, 50, 0, 22, 0}, 4, 20},
      {"4, 4, 4: only notes and running status with a delta draw",
       {{7, 0x90, 60, 100, 2}, {10, 0xA0, 60, 10, 2}, {10, 0xB0, 1, 2, 2}, {10, 0xC0, 5, 0, 1}, {10, 0xD0, 5, 0, 1},
        {10, 0xE0, 0, 64, 2}, {10, 0xF0, 1, 0xF7, 2}, {10, 0xFF, 1, 0, 2}, {0, 0x90, 62, 90, 2}, {10, 0x3C, 40, 0, 1},
        {10, 0x05, 0, 0, 0}, {10, 0x9F, 60, 0, 2}, kEnd}, 5, {9, 19, 29}, {7, 10, 10, 10, 10, 10, 10, 10, 0, 14, 10, 10, 0}, 4, 4},
      {"-20, -2, 10, -20, 0: no delta past four bytes, a damaged one not lengthened",
       {{0, 0xFF, 3, 0, 2}, {30, 0x90, 60, 100, 2}, {kMax - 5, 0x80, 60, 0, 2}, {kMax - 3, 0x90, 60, 100, 2},
        {kMax + 100, 0x80, 60, 0, 2}, {100, 0x90, 60, 0, 2}, kEnd}, 20, {0, 58, 30, 40, 60}, {0, 10, kMax - 2, kMax, kMax + 100, 114, 0}, 4, 20},
      {"-20, -5: an event the limit keeps early drops a jitter that takes it past -A",
       {{0, 0xFF, 3, 0, 2}, {30, 0x90, 60, 100, 2}, {kMax, 0x80, 60, 0, 2}, kEnd}, 20, {0, 15}, {0, 10, kMax, 0}, 3, 20},
      {"10: a jitter up to the largest delta fits", {{0, 0xFF, 3, 0, 2}, {kMax - 10, 0x90, 60, 100, 2}, kEnd}, 20, {30}, {0, kMax, 0}, 2, 10},
      {"a head alone draws nothing", {kEnd}, 200, {}, {0}, 0, 0},
      {"1: a move of one tick", {{0, 0xFF, 3, 0, 2}, {10, 0x90, 60, 100, 2}, {10, 0x80, 60, 0, 2}, kEnd}, 5, {6, 5}, {0, 11, 9, 0}, 1, 1},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TrackSlot& slot = freshSong().tracks[0];
    buildTrack(slot, c.track);
    slot.timeShift = c.amount;
    RandomSource random{0, c.raw.data(), static_cast<int32_t>(c.raw.size())};
    const TimeShiftSummary summary = applyTimeShift(slot, random);
    std::vector<uint32_t> deltas;
    for (const EventFields& e : trackEvents(slot)) deltas.push_back(e.deltaTime);
    EXPECT_EQ(deltas, c.want);
    EXPECT_EQ(random.draws, c.raw.size());
    EXPECT_EQ(std::pair(summary.eventsMoved, summary.largestMove), std::pair(c.moved, c.largest));
  }
}

TEST(PitchShift, ExpandsRunningStatusThenBendsEveryNoteOnAfterTheHead) {
  // clang-format off
  const struct { const char* name; Events track; int amount; std::vector<uint16_t> raw; Events want; int32_t bends; } cases[] = {
      {"worked example: 25 mod 20 - 10 + 64 = 59",
       {{0, 0x91, 60, 100, 2}, {48, 64, 100, 0, 1}, {48, 0x81, 60, 0, 2}, {0, 64, 0, 0, 1}, kEnd}, 10, {25},
       {{0, 0x91, 60, 100, 2}, {48, 0xE1, 0, 59, 2}, {0, 0x91, 64, 100, 2}, {48, 0x81, 60, 0, 2}, {0, 0x81, 64, 0, 2}, kEnd}, 1},
      {"the last channel status across meta and sysex; none before: kept as read",
       {{0, 0x7F, 5, 0, 1}, {0, 0x30, 5, 0, 1}, {10, 0xC3, 7, 0, 1}, {10, 0x08, 0, 0, 0}, {10, 0xB2, 7, 100, 2},
        {0, 0xFF, 1, 0, 2}, {0, 0xF0, 1, 0xF7, 2}, {10, 0x0A, 20, 0, 1}, kEnd}, 5, {},
       {{0, 0x7F, 5, 0, 1}, {0, 0x30, 5, 0, 1}, {10, 0xC3, 7, 0, 1}, {10, 0xC3, 0x08, 0, 1}, {10, 0xB2, 7, 100, 2},
        {0, 0xFF, 1, 0, 2}, {0, 0xF0, 1, 0xF7, 2}, {10, 0xB2, 0x0A, 20, 2}, kEnd}, 0},
      {"the head lends its status; only Note Ons, velocity 0 too",
       {{0, 0x9F, 60, 1, 2}, {5, 62, 2, 0, 1}, {10, 0x8F, 60, 0, 2}, {10, 0xE0, 0, 70, 2}, {10, 0x95, 61, 0, 2}, kEnd}, 1, {1, 0},
       {{0, 0x9F, 60, 1, 2}, {5, 0xEF, 0, 64, 2}, {0, 0x9F, 62, 2, 2}, {10, 0x8F, 60, 0, 2}, {10, 0xE0, 0, 70, 2},
        {10, 0xE5, 0, 63, 2}, {0, 0x95, 61, 0, 2}, kEnd}, 2},
      {"amount 64: byte 0 inserts nothing, 64 and 127 do",
       {{0, 0xFF, 3, 0, 2}, {10, 0x90, 60, 100, 2}, {20, 0x90, 62, 100, 2}, {30, 0x90, 64, 100, 2}, kEnd}, 64, {128 * 3, 64, 127},
       {{0, 0xFF, 3, 0, 2}, {10, 0x90, 60, 100, 2}, {20, 0xE0, 0, 64, 2}, {0, 0x90, 62, 100, 2}, {30, 0xE0, 0, 127, 2},
        {0, 0x90, 64, 100, 2}, kEnd}, 2},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TrackSlot& slot = freshSong().tracks[0];
    buildTrack(slot, c.track);
    slot.pitchShift = c.amount;
    RandomSource random{0, c.raw.data(), static_cast<int32_t>(c.raw.size())};
    EXPECT_EQ(applyPitchShift(*testSong, slot, random), c.bends);
    EXPECT_EQ(trackEvents(slot), c.want);
    EXPECT_EQ(random.draws, c.raw.size());
  }
}

// Track 1 takes its time draws, then its bends (the first worked example, then bends 61 and 64);
// track 2 bends both its notes to 64; track 16 draws from the generator once the script runs out.
TEST(TransformSong, TreatsTracksInOrderTimeFirstAndLogsThemFromOne) {
  Song& song = loadSong(midiFile(std::vector<std::string>(16, kFirstExampleBytes)));
  song.tracks[0].timeShift = 10;
  song.tracks[0].pitchShift = 5;
  song.tracks[1].pitchShift = 1;
  song.tracks[15].timeShift = 1;
  song.tracks[0].velocityShift = 30;  // last, from the track's own stream of seed 3
  const uint16_t raw[] = {35, 23, 13, 12, 5, 1, 1};
  ClassicRandom random{{0, raw, 7}, classicRandom(song, 3).velocity};
  const std::vector<PressSummary> summary = classicPress(song, random);
  EXPECT_EQ(logLines(), (std::vector<std::string>{
                            "PPQN=96", "Loaded 16 tracks", "Track 1 Time shift transformed",
                            "Track 1 Pitch shift transformed", "Track 2 Pitch shift transformed",
                            "Track 16 Time shift transformed"}));
  const auto fields = [](const PressSummary& s) {
    return std::tuple(s.moved, s.largestMoveTicks, s.bendsAdded, s.velocitiesChanged);
  };
  EXPECT_EQ(fields(summary[0]), std::tuple(6, 7, 2, 2));
  EXPECT_EQ(fields(summary[1]), std::tuple(0, 0, 2, 0));
  EXPECT_EQ(fields(summary[2]), std::tuple(0, 0, 0, 0));
  const Events track1 = trackEvents(song.tracks[0]), track2 = trackEvents(song.tracks[1]);
  EXPECT_EQ(std::tuple(track1[1].deltaTime, track1[1].data2, track1[3].data2),
            std::tuple(101u, 61, 64));
  EXPECT_EQ(std::tuple(track1[2].data2, track1[4].data2), std::tuple(84, 95));  // velocities 100
  EXPECT_EQ(std::tuple(track2[1].data2, track2[3].data2), std::tuple(64, 64));
}

// The lines both front ends log after a press: one per track with an amount, counted from 1. Three
// tracks play one chord on one channel: one bend for it, in the first, and one back to the centre
// when it ends; each track counts its notes bent. Counts of one are singular.
TEST(PressLog, OneLinePerTrackWithAnAmount) {
  Song& song = loadSong(midiFile({kFirstExampleBytes, kFirstExampleBytes, kFirstExampleBytes}));
  musicalPressLogged(song, {{0, false, 20, 0}, {0, false, 10, 0}, {0, false, 10, 0}}, 1);
  logPressSummaries({{false, true, false, true}, {}, {true, true, false, false}},
                    {{3, 0, 1, 0, 0, 1, 0, 0}, {}, {2, 5, 17, 12.36, 0, 0, 0, 0}});
  EXPECT_EQ(logLines(), (std::vector<std::string>{
                            "PPQN=96", "Loaded 3 tracks",
                            "Track 1: pitch shift added 2 bends (2 notes bent, 0 left as their "
                            "channel was held)",
                            "Track 2: pitch shift added 0 bends (2 notes bent, 0 left as their "
                            "channel was held)",
                            "Track 3: pitch shift added 0 bends (2 notes bent, 0 left as their "
                            "channel was held)",
                            "Track 1: time shift moved 3 events, at most 1 tick; velocity shift "
                            "changed 1 note",
                            "Track 3: time shift moved 2 of 5 notes, at most 17 ticks (12.4 ms)"}));
}

// 25 frames of 40 ticks a second: a tick is a millisecond; 29 frames stand for 29.97 drop-frame.
TEST(TempoMap, FrameDivisionsCountTicksAsTime) {
  Song& song = loadSong(midiFile({"00 FF 51 03 0F 42 40 00 FF 2F 00"}));  // a tempo, ignored here
  for (const auto& [division, ticksPerSecond] :
       {std::pair(0xE728, 1000.0), std::pair(0xE350, 2397.6)}) {
    song.division = division;
    EXPECT_NEAR(microsAtTick(buildTempoMap(song), ticksPerSecond), 1e6, 1e-3) << division;
  }
}

// At 96 ticks a quarter: half a second at 120 beats a minute, a quarter second at 240, then a
// second at 60.
TEST(TempoMap, ChangesAddUp) {
  const Song& song = loadSong(
      midiFile({"00 FF 51 03 07 A1 20  60 FF 51 03 03 D0 90  60 FF 51 03 0F 42 40  00 FF 2F 00"}));
  EXPECT_DOUBLE_EQ(microsAtTick(buildTempoMap(song), 288), 1750000);
}

// Parts tile the items, each item in one part; a small job is one part; a failure in a part reaches
// the caller, and only once every part has run.
TEST(WorkParts, TileTheItemsAndPassAFailureOn) {
  std::mutex lock;
  std::vector<std::pair<size_t, size_t>> parts;
  const auto record = [&](size_t first, size_t last) {
    const std::lock_guard<std::mutex> hold(lock);
    parts.push_back({first, last});
    if (last == 100) throw std::runtime_error("part");
  };
  inParts(5, [](size_t) { return kSmallWork / 8; }, record);
  EXPECT_EQ(parts, (std::vector<std::pair<size_t, size_t>>{{0, 5}}));
  parts.clear();
  const auto heavy = [](size_t i) { return i < 50 ? kSmallWork : 0; };  // half the items
  EXPECT_THROW(inParts(100, heavy, record), std::runtime_error);
  std::sort(parts.begin(), parts.end());
  ASSERT_FALSE(parts.empty());
  EXPECT_EQ(parts.front().first, 0u);
  EXPECT_EQ(parts.back().second, 100u);
  for (size_t p = 1; p < parts.size(); ++p) EXPECT_EQ(parts[p].first, parts[p - 1].second);
  if (std::thread::hardware_concurrency() == 2) {
    EXPECT_EQ(parts.front().second, 25u);  // the half-way item is the last of the front part
    parts.clear();
    inParts(2, [](size_t i) { return i == 0 ? 1 : kSmallWork; }, record);  // a heavy item last
    std::sort(parts.begin(), parts.end());
    EXPECT_EQ(parts, (std::vector<std::pair<size_t, size_t>>{{0, 1}, {1, 2}}));
  }
}
