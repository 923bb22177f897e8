#include "transform/transform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "support/midi_builder.h"
#include "transform/pitch_shift.h"
#include "transform/random_source.h"
#include "transform/time_shift.h"

namespace {

constexpr uint32_t kMax = kMaxDeltaTime;
constexpr EventFields kEnd = {0, 0xFF, 0x2F, 0, 2};
// clang-format off
const Events kFirstExample = {{0, 0xFF, 3, 0, 2}, {96, 0x90, 60, 100, 2}, {0, 0x90, 64, 100, 2},
    {48, 0x80, 60, 0, 2}, {10, 0xB0, 7, 100, 2}, {38, 0x80, 64, 0, 2}, kEnd};
const Events kSecondExample = {{0, 0x90, 50, 1, 2}, {30, 0x90, 60, 90, 2}, {5, 0x80, 60, 0, 2},
    {40, 0x90, 62, 90, 2}, kEnd};
const Events kBendExample = {{0, 0x91, 60, 100, 2}, {48, 64, 100, 0, 1}, {48, 0x81, 60, 0, 2},
    {0, 64, 0, 0, 1}, kEnd};
// clang-format on

std::vector<uint32_t> deltas(const TrackSlot& slot) {
  std::vector<uint32_t> out;
  for (const EventFields& e : trackEvents(slot)) out.push_back(e.deltaTime);
  return out;
}

Song& songOf(const std::vector<Events>& tracks) {
  Song& song = loadSong({});
  clearLog();
  song.trackCount = static_cast<int32_t>(tracks.size());
  for (size_t i = 0; i < tracks.size(); ++i) buildTrack(song.tracks[i], tracks[i]);
  return song;
}

// Sixteenth notes at a low resolution, two ticks apart: a chord note and a
// Note Off under running status now and then, a controller that rides along.
// Before late jitters were dropped, such a track drifted by hundreds of ticks.
Events denseTrack(int notes) {
  Events events = {{0, 0xFF, 0x03, 0, 2}};
  for (int i = 0; i < notes; ++i) {
    const uint8_t key = static_cast<uint8_t>(48 + i % 24);
    events.push_back({1, 0x91, key, 100, 2});
    if (i % 3 == 0) events.push_back({0, static_cast<uint8_t>(key + 4), 90, 0, 1});
    if (i % 5 == 0) events.push_back({1, 0xB1, 7, 100, 2});
    events.push_back({1, 0x81, key, 0, 2});
    if (i % 4 == 0) events.push_back({0, static_cast<uint8_t>(key + 4), 0, 0, 1});
  }
  events.push_back({0, 0xFF, 0x2F, 0, 2});
  return events;
}

// What one press promises, checked from a snapshot taken before it: the
// original events keep their order and bytes; each lands within -A .. A - 1
// ticks of where it was (A = timeShift; an event with delta 0 or a status of
// 0xA0 and up moves with the one before it); every new event is a Pitch Bend
// directly before a Note On of its channel, on its tick, low byte 0, high
// byte within 64 - P .. 63 + P and not 0 (P = pitchShift).
struct Snapshot {
  std::map<const MidiEvent*, size_t> index;
  Events fields;
  std::vector<int64_t> ticks;
};
Snapshot snapshot(const TrackSlot& slot) {
  Snapshot s{{}, trackEvents(slot), absoluteTicks(slot)};
  size_t i = 0;
  for (const MidiEvent* e = &slot.head; e != nullptr; e = e->next) s.index[e] = i++;
  return s;
}
void checkPress(const Snapshot& before, const TrackSlot& slot, const TrackPressSummary& summary,
                const std::string& where) {
  const int amount = slot.timeShift, bend = slot.pitchShift;
  const std::vector<int64_t> ticks = absoluteTicks(slot);
  std::vector<int64_t> moved;
  int32_t bends = 0, movedCount = 0;
  int64_t largest = 0;
  size_t k = 0;
  for (const MidiEvent* e = &slot.head; e != nullptr; e = e->next, ++k) {
    const auto found = before.index.find(e);
    if (found == before.index.end()) {
      ++bends;
      ASSERT_NE(e->next, nullptr) << where;
      EXPECT_EQ(e->status, 0xE0 | (e->next->status & 0x0F)) << where << " event " << k;
      EXPECT_EQ(e->next->status & 0xF0, 0x90) << where << " event " << k;
      EXPECT_EQ(e->next->deltaTime, 0u) << where << " event " << k;
      EXPECT_EQ(e->data1, 0) << where;
      EXPECT_TRUE(e->data2 != 0 && e->data2 >= 64 - bend && e->data2 <= 63 + bend) << where;
      continue;
    }
    const size_t i = found->second;
    ASSERT_EQ(i, moved.size()) << where << ": events out of order at " << k;
    const EventFields& was = before.fields[i];
    if (was.status >= 0x80) {
      EXPECT_EQ((EventFields{e->deltaTime, e->status, e->data1, e->data2, e->dataLength}),
                (EventFields{e->deltaTime, was.status, was.data1, was.data2, was.dataLength}))
          << where << " event " << i;
    }
    moved.push_back(ticks[k] - before.ticks[i]);
    const bool rides = i == 0 || was.deltaTime == 0 || was.status >= 0xA0;
    if (rides) {
      EXPECT_EQ(moved[i], i == 0 ? 0 : moved[i - 1]) << where << " event " << i;
    }
    EXPECT_GE(moved[i], amount == 0 ? 0 : -amount) << where << " event " << i;
    EXPECT_LE(moved[i], amount == 0 ? 0 : amount - 1) << where << " event " << i;
    movedCount += moved[i] != 0;
    largest = std::max(largest, std::abs(moved[i]));
  }
  EXPECT_EQ(moved.size(), before.fields.size()) << where << ": an event went missing";
  EXPECT_EQ(bends, summary.bendsAdded) << where;
  EXPECT_EQ(movedCount, summary.eventsMoved) << where;
  EXPECT_EQ(largest, summary.largestMove) << where;
}

// Presses `song` with `random`, checking every track against the promise.
void pressAndCheck(Song& song, RandomSource& random, const std::string& where) {
  std::vector<Snapshot> before;
  for (int t = 0; t < song.trackCount; ++t) before.push_back(snapshot(song.tracks[t]));
  TrackPressSummary summaries[kMaxTracks];
  transformSong(random, summaries);
  for (int t = 0; t < song.trackCount; ++t) {
    checkPress(before[t], song.tracks[t], summaries[t], where + " track " + std::to_string(t + 1));
  }
}

}  // namespace

TEST(RandomSource, SeedOneOpensWithTheWellKnownValues) {
  RandomSource source;
  seedRandomSource(source, 1);
  std::vector<int> first;
  for (int i = 0; i < 5; ++i) first.push_back(nextRandom(source));
  EXPECT_EQ(first, (std::vector<int>{41, 18467, 6334, 26500, 19169}));
}

// A track, an amount, the draws, and the delta times the walk must leave.
struct ShiftCase {
  const char* name;
  Events track;
  int amount;
  std::vector<uint16_t> raw;
  std::vector<uint32_t> want;
  uint32_t draws;
};

TEST(TimeShift, MovesNotesByTheirDrawsAndTakesTheDisplacementOutAgain) {
  // clang-format off
  const ShiftCase cases[] = {
      {"first worked example", kFirstExample, 10, rawForDraws({5, -7, 3}, 10),
       {0, 101, 0, 36, 10, 48, 0}, 3},
      {"residue kept, too large a negative jitter dropped", kSecondExample, 30,
       rawForDraws({20, -4, -3}, 30), {0, 50, 0, 22, 0}, 3},
      {"an event still late drops a positive jitter", kSecondExample, 30,
       rawForDraws({20, 10, -3}, 30), {0, 50, 0, 22, 0}, 3},
      {"only notes and running status with a delta draw",
       {{7, 0x90, 60, 100, 2}, {10, 0xA0, 60, 10, 2}, {10, 0xB0, 1, 2, 2}, {10, 0xC0, 5, 0, 1},
        {10, 0xD0, 5, 0, 1}, {10, 0xE0, 0, 64, 2}, {10, 0xF0, 1, 0xF7, 2}, {10, 0xFF, 1, 0, 2},
        {0, 0x90, 62, 90, 2}, {10, 0x3C, 40, 0, 1}, {10, 0x05, 0, 0, 0}, {10, 0x8F, 60, 0, 2}, kEnd},
       5, rawForDraws({4, 4, 4}, 5), {7, 10, 10, 10, 10, 10, 10, 10, 0, 14, 10, 10, 0}, 3},
      {"no delta past four bytes, a damaged one not lengthened",
       {{0, 0xFF, 3, 0, 2}, {30, 0x90, 60, 100, 2}, {kMax - 5, 0x80, 60, 0, 2},
        {kMax - 3, 0x90, 60, 100, 2}, {kMax + 100, 0x80, 60, 0, 2}, kEnd},
       20, rawForDraws({-20, -2, 10, -20}, 20), {0, 10, kMax - 2, kMax, kMax + 80, 0}, 4},
      {"an early rest taken out later",
       {{0, 0xFF, 3, 0, 2}, {30, 0x90, 60, 100, 2}, {kMax - 5, 0x80, 60, 0, 2},
        {100, 0x90, 60, 100, 2}, kEnd},
       20, rawForDraws({-20, 0, 0}, 20), {0, 10, kMax, 115, 0}, 3},
      {"a head alone draws nothing", {kEnd}, 200, {}, {0}, 0},
  };
  // clang-format on
  for (const ShiftCase& c : cases) {
    SCOPED_TRACE(c.name);
    TrackSlot slot;
    buildTrack(slot, c.track);
    slot.timeShift = c.amount;
    ScriptedSource random(c.raw);
    applyTimeShift(slot, random.source);
    EXPECT_EQ(deltas(slot), c.want);
    EXPECT_EQ(random.source.draws, c.draws);
  }
}

// A track, the pitch-shift amount, the raw draws, and the chain afterwards.
struct BendCase {
  const char* name;
  Events track;
  int amount;
  std::vector<uint16_t> raw;
  Events want;
};

TEST(PitchShift, ExpandsRunningStatusThenBendsEveryNoteOnAfterTheHead) {
  // clang-format off
  const BendCase cases[] = {
      {"worked example: 25 mod 20 - 10 + 64 = 59", kBendExample, 10, {25},
       {{0, 0x91, 60, 100, 2}, {48, 0xE1, 0, 59, 2}, {0, 0x91, 64, 100, 2}, {48, 0x81, 60, 0, 2},
        {0, 0x81, 64, 0, 2}, kEnd}},
      {"expansion follows the last channel status across meta and sysex",
       {{0, 0xFF, 3, 0, 2}, {0, 0x30, 5, 0, 1}, {10, 0xC3, 7, 0, 1}, {10, 0x08, 0, 0, 0},
        {10, 0xB2, 7, 100, 2}, {0, 0xFF, 1, 0, 2}, {0, 0xF0, 1, 0xF7, 2}, {10, 0x0A, 20, 0, 1}, kEnd},
       5, {},
       {{0, 0xFF, 3, 0, 2}, {0, 0x30, 5, 0, 1}, {10, 0xC3, 7, 0, 1}, {10, 0xC3, 0x08, 0, 1},
        {10, 0xB2, 7, 100, 2}, {0, 0xFF, 1, 0, 2}, {0, 0xF0, 1, 0xF7, 2}, {10, 0xB2, 0x0A, 20, 2},
        kEnd}},
      {"running status after the head takes its status; a centred bend",
       {{0, 0x9F, 60, 1, 2}, {5, 62, 2, 0, 1}, kEnd}, 1, {1},
       {{0, 0x9F, 60, 1, 2}, {5, 0xEF, 0, 64, 2}, {0, 0x9F, 62, 2, 2}, kEnd}},
      {"only Note Ons, velocity 0 included",
       {{0, 0x90, 60, 100, 2}, {10, 0x80, 60, 0, 2}, {10, 0xB0, 1, 5, 2}, {10, 0xE0, 0, 70, 2},
        {10, 0x95, 61, 0, 2}, kEnd}, 32, {0},
       {{0, 0x90, 60, 100, 2}, {10, 0x80, 60, 0, 2}, {10, 0xB0, 1, 5, 2}, {10, 0xE0, 0, 70, 2},
        {10, 0xE5, 0, 32, 2}, {0, 0x95, 61, 0, 2}, kEnd}},
      {"amount 64: byte 0 inserts nothing, 64 and 127 do",
       {{0, 0xFF, 3, 0, 2}, {10, 0x90, 60, 100, 2}, {20, 0x90, 62, 100, 2},
        {30, 0x90, 64, 100, 2}, kEnd}, 64, {128 * 3, 64, 127},
       {{0, 0xFF, 3, 0, 2}, {10, 0x90, 60, 100, 2}, {20, 0xE0, 0, 64, 2}, {0, 0x90, 62, 100, 2},
        {30, 0xE0, 0, 127, 2}, {0, 0x90, 64, 100, 2}, kEnd}},
      {"a second press puts its bend between the first and the note",
       {{0, 0xFF, 3, 0, 2}, {96, 0xE2, 0, 54, 2}, {0, 0x92, 60, 100, 2}, kEnd}, 10, {19},
       {{0, 0xFF, 3, 0, 2}, {96, 0xE2, 0, 54, 2}, {0, 0xE2, 0, 73, 2}, {0, 0x92, 60, 100, 2},
        kEnd}},
      {"a head alone", {{0, 0x90, 60, 100, 2}}, 64, {}, {{0, 0x90, 60, 100, 2}}},
      {"no channel status before: kept as read", {{0, 0x7F, 5, 0, 1}, {10, 0x30, 6, 0, 1}, kEnd},
       5, {}, {{0, 0x7F, 5, 0, 1}, {10, 0x30, 6, 0, 1}, kEnd}},
  };
  // clang-format on
  for (const BendCase& c : cases) {
    SCOPED_TRACE(c.name);
    TrackSlot slot;
    buildTrack(slot, c.track);
    slot.pitchShift = c.amount;
    ScriptedSource random(c.raw);
    applyPitchShift(slot, random.source);
    EXPECT_EQ(trackEvents(slot), c.want);
    EXPECT_EQ(random.source.draws, c.raw.size());
  }
}

TEST(TransformSong, KnownSeedsReproduceTheWorkedExamples) {
  // Seed 17934 draws +5, -7, +3 at amount 10; seed 39220 draws +20, -4, -3
  // at amount 30; seed 2's first rand() is 25 mod 20 (bend byte 59).
  Song& first = songOf({kFirstExample});
  first.tracks[0].timeShift = 10;
  transformSong(17934u);
  EXPECT_EQ(absoluteTicks(first.tracks[0]),
            (std::vector<int64_t>{0, 101, 101, 137, 147, 195, 195}));
  Song& second = songOf({kSecondExample});
  second.tracks[0].timeShift = 30;
  transformSong(39220u);
  EXPECT_EQ(absoluteTicks(second.tracks[0]), (std::vector<int64_t>{0, 50, 50, 72, 72}));
  Song& bend = songOf({kBendExample});
  bend.tracks[0].pitchShift = 10;
  transformSong(2u);
  EXPECT_EQ(trackEvents(bend.tracks[0])[1], (EventFields{48, 0xE1, 0, 59, 2}));
}

TEST(TransformSong, LogsEachStepAndLeavesTracksPastTheSixteenthAlone) {
  Song& song = songOf(std::vector<Events>(16, kFirstExample));
  buildTrack(song.extraTracks.emplace_back(), kFirstExample);
  song.extraTracks.back().timeShift = 200;  // cannot be set from outside, and is never used
  song.tracks[0].timeShift = song.tracks[0].pitchShift = 5;
  song.tracks[1].pitchShift = 1;
  song.tracks[15].timeShift = 1;
  song.selectedTrack = 3;  // plays no part
  transformSong(1u);
  EXPECT_EQ(logLines(), (std::vector<std::string>{
                            "Track 1 Time shift transformed", "Track 1 Pitch shift transformed",
                            "Track 2 Pitch shift transformed", "Track 16 Time shift transformed"}));
  EXPECT_EQ(trackEvents(song.extraTracks.back()), kFirstExample);
  EXPECT_EQ(song.tracks[0].timeShift, 5) << "amounts stay set for the next press";
}

TEST(TransformSong, PressesInARowContinueOneSequence) {
  auto twoPresses = [](bool reseed) {
    Song& song = songOf({kFirstExample, kFirstExample});
    song.tracks[0].timeShift = 50;
    song.tracks[1].pitchShift = 20;
    RandomSource random;
    seedRandomSource(random, 42);
    transformSong(random);
    const uint32_t firstPressDraws = random.draws;
    if (reseed) seedRandomSource(random, 42);
    transformSong(random);
    return std::make_pair(trackEvents(song.tracks[0]), firstPressDraws);
  };
  const auto [continued, draws] = twoPresses(false);
  EXPECT_NE(continued, twoPresses(true).first) << "the second press replayed the first one's draws";
  // The continuation is the sequence after the first press's draws.
  Song& song = songOf({kFirstExample, kFirstExample});
  song.tracks[0].timeShift = 50;
  song.tracks[1].pitchShift = 20;
  transformSong(42u);
  RandomSource random;
  seedRandomSource(random, 42);
  for (uint32_t i = 0; i < draws; ++i) nextRandom(random);
  transformSong(random);
  EXPECT_EQ(trackEvents(song.tracks[0]), continued);
}

TEST(TransformSong, EveryPressKeepsItsPromiseOverManySeedsAndDenseTracks) {
  for (uint32_t seed = 1; seed <= 60 && !HasFailure(); ++seed) {
    Song& song = songOf({denseTrack(400), denseTrack(200), kFirstExample});
    song.tracks[0].timeShift = 1 + static_cast<int>(seed * 37 % 200);
    song.tracks[1].timeShift = seed % 2 == 0 ? 200 : 1;
    song.tracks[1].pitchShift = 1 + static_cast<int>(seed * 13 % 64);
    song.tracks[2].pitchShift = 64;
    RandomSource random;
    seedRandomSource(random, seed);
    for (int press = 1; press <= 3; ++press) {
      pressAndCheck(song, random,
                    "seed " + std::to_string(seed) + " press " + std::to_string(press));
    }
  }
}

TEST(TransformSong, RealFilesKeepThePromiseAndSaveToWellFormedFiles) {
  SKIP_WITHOUT_SAMPLES();
  RandomSource random;
  seedRandomSource(random, 1);
  for (const auto& path : sampleMidiFiles()) {
    Song& song = loadSong(readFileBytes(path));
    for (int i = 0; i < song.trackCount; ++i) {
      song.tracks[i].timeShift = (i % 3 != 1) ? 1 + (i * 37 + 11) % 200 : 0;
      song.tracks[i].pitchShift = (i % 3 != 0) ? 1 + (i * 23 + 5) % 64 : 0;
    }
    for (int press = 1; press <= 2; ++press) {
      pressAndCheck(song, random, path.filename().string() + " press " + std::to_string(press));
    }
    const std::vector<uint8_t> saved = saveSong();
    EXPECT_EQ(fixedPointProblem(saved.data(), saved.size()), "") << path.filename();
    if (HasFailure()) return;
  }
}
