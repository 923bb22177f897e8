#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "song/song_tracks.h"
#include "support/midi_builder.h"
#include "support/press_check.h"
#include "transform/musical_press.h"

namespace {

// A dense, awkward track: chords, repeated and overlapping keys (struck twice at once, the second
// note ending later), notes of no length, doubled note-offs and one before any note of its key,
// drums, controllers, pedal and program changes, the file's own bends in front of notes or just
// before them (on channel 16 too), a bend range of 12 semitones on channel 2, starts one tick apart
// and long gaps, and a note left sounding at the end.
std::string denseTrack(uint32_t state) {
  auto next = [&state](uint32_t below) {
    return ((state = state * 1664525u + 1013904223u) >> 8) % below;
  };
  const int64_t stray = 40 + next(200);  // on channel 4 a tick before the key's one note
  Timeline track = {{0, "B1 65 00"},         {0, "B1 64 00"},     {0, "B1 06 0C"},
                    {0, "B1 26 00"},         {stray, "83 50 00"}, {stray + 1, "93 50 40"},
                    {stray + 11, "83 50 00"}};
  const int steps[] = {0, 1, 1, 2, 3, 5, 12, 24, 48, 96, 500},
            lengths[] = {0, 1, 2, 7, 24, 96, 300};
  for (int64_t i = 0, tick = 0; i < 600; ++i) {
    tick += steps[next(11)];
    const uint32_t channel = next(4) == 0   ? 9
                             : next(3) == 0 ? 15
                                            : next(2),
                   key = 60 + next(4), end = tick + lengths[next(7)];
    const char* const changes[] = {"B0 07 ", "B0 40 ", "C0 "};  // volume, pedal, program
    if (const uint32_t kind = next(24); kind < 3)               // the status takes the channel
      track.push_back({tick, hexByte(std::stoi(changes[kind], nullptr, 16) | channel) +
                                 (changes[kind] + 3) + hexByte(next(128))});
    if (next(10) == 0)  // on the note's tick or just before it
      track.push_back({std::max<int64_t>(tick - next(3), 0),
                       hexByte(0xE0 | channel) + "00 " + hexByte(next(128))});
    track.push_back({tick, hexByte(0x90 | channel) + hexByte(key) + hexByte(1 + next(127))});
    const std::string off = hexByte((next(2) ? 0x80 : 0x90) | channel) + hexByte(key) + "00";
    track.push_back({end, off});
    if (next(20) == 0) track.push_back({end, off});
    if (next(9) == 0)  // struck again at once, ending a little later
      track.insert(track.end(), {{tick, hexByte(0x90 | channel) + hexByte(key) + "30"},
                                 {end + 1 + next(9), off}});
    if (next(30) == 0) track.push_back({tick + next(50), "F0 03 7E 7F F7"});
  }
  // A key nothing ends, sounding when the track ends, and an event after its start, so that it does
  // not start on the track's last tick.
  const int64_t last = track.back().first;
  track.insert(track.end(), {{last + 1, "9F 40 50"}, {last + 9, "FF 01 00"}});
  return trackHex(track);
}

// 96 ticks a quarter: 500,000 us a quarter, from tick 2000 four times as fast (125,000 us), from
// 6000 one second a quarter.
const std::string kTempoTrack =
    trackHex({{0, "FF 51 03 07 A1 20"}, {2000, "FF 51 03 01 E8 48"}, {6000, "FF 51 03 0F 42 40"}});

// Track `track` after a musical press of `amounts` with `seed`.
std::vector<Heard> pressed(const std::vector<std::string>& tracks, int track,
                           const TrackAmounts& amounts, uint32_t seed) {
  Song& song = loadSong(midiFile(tracks));
  std::vector<TrackAmounts> all(allTrackCount(song));
  all[track] = amounts;
  musicalPress(song, all, seed);
  return hearSong(song)[track];
}

}  // namespace

// Both styles keep every promise on dense songs and every sample file, at two seeds each: classic
// presses one to three (among them a track that once drifted by hundreds of ticks: sixteenths two
// ticks apart under a riding controller, and a velocity byte of 0x80, which is none), musical in
// ticks and in ms, amounts small and largest, on all tracks, some, or halved on others.
TEST(Press, BothStylesKeepEveryPromiseOnDenseSongsAndRealFiles) {
  // Settings but for the seed: control, time, pitch and velocity amounts, their masks.
  const std::vector<std::array<uint8_t, 7>> settings = {
      {4, 30, 10, 0, 0xFF, 0xFF, 0x00}, {0, 200, 0, 64, 0x55, 0x00, 0xA3},
      {2, 1, 64, 1, 0x0F, 0xF0, 0xFF},  {1, 200, 100, 64, 0x13, 0x35, 0x0F},
      {9, 15, 50, 0, 0xFF, 0xFF, 0x00}, {9, 200, 0, 30, 0xFF, 0x00, 0x21},
      {1, 20, 10, 8, 0x31, 0x00, 0xFF}, {1, 0, 100, 0, 0x00, 0x17, 0x00}};
  std::string drift;
  for (int i = 0; i < 300; ++i)
    drift += "01 91 30 64  00 34 5A  01 B1 07 64  01 81 30 00  00 92 30 80 ";
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files = sampleMidiFiles();
  files.insert(files.begin(), {"drift", midiFile({drift, drift, drift + "00 FF 2F 00"})});
  for (uint32_t seed = 1; seed <= 16; ++seed) {
    files.insert(files.begin(),
                 {"dense", midiFile({kTempoTrack, denseTrack(seed), denseTrack(seed * 7 + 1),
                                     denseTrack(seed + 99)})});
  }
  for (uint32_t f = 0; f < files.size() && !HasFailure(); ++f) {
    for (const uint32_t k : {0, 1}) {  // the drift track: classic at 30 and 200 ticks
      const uint32_t seed = f * 31 + k * 7 + 1;
      const std::array<uint8_t, 7>& s = settings[(f == 16 ? k : f * 2 + k) % settings.size()];
      std::vector<uint8_t> input = files[f].second;
      input.insert(input.end(), {s[0], uint8_t(seed), uint8_t(seed >> 8), 0, 0, s[1], s[2], s[3],
                                 s[4], s[5], s[6]});
      EXPECT_EQ(pipelineProblem(input.data(), input.size(), f > 16), "")
          << files[f].first << ", seed " << seed << ", settings " << int(s[0]);
    }
  }
}

// Notes, the largest delta time less room for two of the largest moves, notes: they move. A tick
// more and the track keeps its timing: a later move past the gap could need a delta time no file
// can hold.
TEST(MusicalPress, MovesAroundTheLargestDeltaTimeOnlyWithRoom) {
  const std::string notes =
      "90 3C 40  10 80 3C 00  00 90 3E 40  10 80 3E 00  00 90 40 40  10 80 40 00 ";
  const auto gap = [&notes](const std::string& delta) {
    return midiFile({"00 " + notes + delta + notes + "00 FF 2F 00"});
  };
  const std::vector<uint8_t> roomy = gap("FF F7 FF 7F "), tight = gap("FF F8 80 00 ");
  bool moved = false;
  for (uint32_t seed = 1; seed <= 16; ++seed) {
    EXPECT_EQ(musicalPressProblem(roomy, {{200, false, 0, 0}}, seed), "") << "seed " << seed;
    moved |= saveSong() != roomy;
    // (an amount of one tick too)
    EXPECT_EQ(musicalPressProblem(tight, {{seed % 2 != 0 ? 200 : 1, false, 0, 0}}, seed), "")
        << "seed " << seed;
    EXPECT_TRUE(saveSong() == tight) << "a gap without room, seed " << seed;
  }
  EXPECT_TRUE(moved);
}

TEST(MusicalPress, BendsInCentsAgainstTheFilesRangeAroundItsOwnBend) {
  // 200 notes a quarter apart, 100 cents either way, a bend each. Channel 2: a range of 12
  // semitones, held down by half of it (4096): 8192 / 12 = 682 steps at most. Channel 1: 2
  // semitones, the centre, 4096; a note on tick 0 behind the track's name bends too. Channel 3:
  // fine tuning (parameter 0/1) entered first is no range; then 50 cents to the default's 2
  // semitones, 3276. Channel 4: a range of 0 set behind the track's name (data entry for a non-registered parameter after it is
  // none), no bend; channel 5, of one cent: each bend goes as far as a bend goes.
  // clang-format off
  const struct { std::string opening; int channel, centre, most, bends; std::string other = "00 FF 2F 00"; } cases[] = {
      {"00 B1 65 00  00 B1 64 00  00 B1 06 0C  00 E1 00 20 ", 1, 4096, 682, 200},
      {"00 FF 03 00  00 90 3C 64  30 80 3C 00 ", 0, 8192, 4096, 201},
      {"00 B2 65 00  00 B2 64 01  00 B2 06 40  00 B2 64 00  00 B2 26 32 ", 2, 8192, 3276, 199, "60 92 3C 64  30 82 3C 00  00 FF 2F 00"},  // not in a chord with a track of no amount
      {"00 FF 03 00  00 B3 65 00  00 B3 64 00  00 B3 06 00  00 B3 63 00  00 B3 06 05 ", 3, 8192, 0, 0},
      {"00 B4 65 00  00 B4 64 00  00 B4 06 00  00 B4 26 01 ", 4, 8192, 8192, 200},
      {"00 FF 03 00 ", 0, 4096, 4096, 200, "00 E0 00 20  00 FF 2F 00"}};  // held down elsewhere
  // clang-format on
  for (const auto& c : cases) {
    std::string track = c.opening;
    for (int i = 0; i < 200; ++i)
      track +=
          "60 " + hexByte(0x90 | c.channel) + "3C 64  30 " + hexByte(0x80 | c.channel) + "3C 00 ";
    const std::vector<Heard> out = pressed({track + "00 FF 2F 00", c.other}, 0, {0, false, 100}, 3);
    int bends = 0, wide = 0;
    for (size_t i = 0; i + 1 < out.size(); ++i) {
      const int value = out[i].d1 | out[i].d2 << 7;
      if (out[i].status == (0xE0 | c.channel) && out[i + 1].status == (0x90 | c.channel)) {
        ++bends;
        EXPECT_LE(std::abs(value - c.centre), c.most) << i;
        wide += std::abs(value - c.centre) > c.most * 3 / 5;
      }
    }
    EXPECT_EQ(bends, c.bends) << c.channel;
    EXPECT_EQ(wide > 0, bends > 0) << c.channel;
  }
}

// A saved seed gives what it gave: a small track in ticks and cents. A head that is a note and ends
// a tick before its key strikes again in a chord behind a controller, a bend and a stray Note Off;
// a start three ticks on; a key struck again; a note of no length; running status.
TEST(MusicalPress, ASeedGivesTheBytesItGave) {
  // clang-format off
  const std::string track =
      "00 90 3C 40  0A 80 3C 00  01 B0 07 64  00 E0 00 30  00 80 40 00  00 90 3C 40  00 90 40 50  "
      "03 90 3E 50  06 90 40 50  04 80 3E 00  02 90 48 40  00 80 48 00  04 80 40 00  00 80 3C 00  "
      "01 40 00  00 FF 01 00  00 FF 2F 00";
  const struct { TrackAmounts amounts; uint32_t seed; std::string want; } cases[] = {
      {{20, false, 50, 0}, 1,
       "00 90 3C 40 0A 80 3C 00 01 B0 07 64 00 E0 00 30 00 80 40 00 00 E0 3A 39 00 90 3C 40 00 90 "
       "40 50 03 90 3E 50 06 90 40 50 04 80 3E 00 02 90 48 40 00 80 48 00 04 80 40 00 00 80 3C 00 "
       "01 80 40 00 00 FF 01 00 00 E0 00 30 00 FF 2F 00 "}};
  // clang-format on
  for (const auto& c : cases) {
    Song& song = loadSong(midiFile({kTempoTrack, track}));
    musicalPress(song, {{}, c.amounts}, c.seed);
    std::string got;
    for (const EventFields& e : trackEvents(trackAt(song, 1)))
      got += hexByte(e.deltaTime) + hexByte(e.status) + hexByte(e.data1) +
             (e.dataLength > 1 ? hexByte(e.data2) : "");
    EXPECT_EQ(got, c.want) << c.seed;
  }
  // And on two dense tracks with amounts of their own (down to a cent), in ticks and in ms: the
  // saved bytes' FNV-1a.
  const std::vector<uint8_t> dense = midiFile({kTempoTrack, denseTrack(5), denseTrack(6)});
  const std::tuple<TrackAmounts, TrackAmounts, uint64_t> songs[] = {
      {{30, false, 40, 20}, {12, false, 100}, 0xBC77225B191C7663},  // velocity: the default, 0
      {{20, true, 100, 0}, {40, true, 1, 64}, 0xFCF9388D28652D07}};
  for (const auto& [first, second, want] : songs) {
    musicalPress(loadSong(dense), {{}, first, second}, 11);
    uint64_t hash = 14695981039346656037ull;
    for (const uint8_t b : saveSong()) hash = (hash ^ b) * 1099511628211ull;
    EXPECT_EQ(hash, want) << first.time;
  }
}

TEST(MusicalPress, MillisecondsFollowTheTempoMap) {
  // 10 ms is one tick at most before tick 2000 (5.2 ms a tick), up to 7 after it (1.3 ms a tick).
  // Notes every 40 ticks.
  Timeline notes;
  for (int64_t tick = 40; tick <= 4000; tick += 40)
    notes.insert(notes.end(), {{tick, "90 3C 64"}, {tick + 16, "80 3C 00"}});
  int64_t slow = 0, fast = 0;
  for (uint32_t seed = 1; seed <= 4; ++seed) {
    int64_t written = 0;
    for (const Heard& e : pressed({kTempoTrack, trackHex(notes)}, 1, {10, true, 0, 0}, seed)) {
      if (e.status != 0x90) continue;
      int64_t& largest = (written += 40) < 2000 ? slow : fast;
      largest = std::max(largest, std::abs(e.tick - written));
    }
  }
  EXPECT_EQ(slow, 1);
  EXPECT_TRUE(fast >= 5 && fast <= 7) << fast;
  // The summary measures the largest move through the same map.
  std::vector<MusicalTrackSummary> summaries;
  musicalPress(loadSong(midiFile({kTempoTrack, trackHex(notes)})), {{}, {10, true, 0, 0}}, 1,
               &summaries);
  EXPECT_TRUE(summaries[1].largestMoveMs > 5 && summaries[1].largestMoveMs <= 10)
      << summaries[1].largestMoveMs;
}

// A bass held under a melody on its channel, in another track: the chord that starts them takes one
// bend, in the first track (the melody's); the melody's notes over the held bass take none and count
// as held; once the bass ends the next note bends on its own, and one on the song's last tick (in
// the first track) keeps the file's bend.
TEST(MusicalPress, AHeldNoteKeepsItsPitch) {
  const std::string bass = trackHex({{0, "FF 03 00"}, {0, "90 28 64"}, {400, "80 28 00"}});
  Timeline melody = {{0, "FF 03 00"}};
  for (int64_t tick : {0, 100, 200, 300, 500})
    melody.insert(melody.end(), {{tick, "90 48 64"}, {tick + 50, "80 48 00"}});
  melody.push_back({600, "90 48 64"});
  std::vector<MusicalTrackSummary> summaries;
  Song& song = loadSong(midiFile({trackHex(melody), bass}));
  musicalPress(song, {{0, false, 50, 0}, {0, false, 50, 0}}, 7, &summaries);
  const SongHeard heard = hearSong(song);
  std::vector<std::vector<int64_t>> bends(2);  // a return to the centre counted negative
  for (int t = 0; t < 2; ++t)
    for (const Heard& e : heard[t])
      if (e.status == 0xE0) bends[t].push_back(e.tick * (e.d1 == 0 && e.d2 == 64 ? -1 : 1));
  EXPECT_EQ(bends, (std::vector<std::vector<int64_t>>{{0, -400, 500, -550, -600}, {}}));
  EXPECT_EQ(summaries[1].notesBent + summaries[0].notesBent * 10 + summaries[0].notesHeld * 100,
            321);
}

// A return no delta time reaches from its bend's track (from tick 20) goes into another bent track,
// else nowhere. Per case: the return's track (from 1) * 100, the bend at the file's value * 10.
TEST(MusicalPress, AReturnNoDeltaTimeReachesFromItsTrack) {
  const std::string bent = trackHex({{0, "FF 03 00"}, {10, "90 3C 64"}, {20, "80 3C 00"}});
  const std::tuple<int64_t, int32_t, int> cases[] = {  // the held note's end, its track's cents
      {20 + kMaxDeltaTime, 50, 100}, {21 + kMaxDeltaTime, 50, 200}, {21 + kMaxDeltaTime, 0, 10}};
  for (const auto& [end, cents, want] : cases) {
    Song& song = loadSong(midiFile({bent, trackHex({{0, "FF 03 00"}, {15, "90 40 64"},
                                                    {1 << 27, "FF 01 00"}, {end, "80 40 00"}})}));
    musicalPress(song, {{0, false, 50, 0}, {0, false, cents, 0}}, 7);
    const SongHeard heard = hearSong(song);
    int got = ((heard[0][1].d1 | heard[0][1].d2 << 7) == 8192) * 10;
    for (int t = 0; t < 2; ++t) {  // a return to the centre before the End of Track
      const Heard& e = heard[t][heard[t].size() - 2];
      got += (e.status == 0xE0 && e.tick == end && e.d1 == 0 && e.d2 == 64) * 100 * (t + 1);
    }
    EXPECT_EQ(got, want) << end << ", " << cents << " cents";
  }
}

// The song's first gesture, a note alone, moves too; notes of a channel ten ticks apart at 288,005
// us a quarter, 30.0005 ms, are two gestures, each moved on its own: their gap changes, by half of
// it at most.
TEST(MusicalPress, ALoneNoteAndNotesJustPast30MsApartMove) {
  Timeline notes = {{0, "FF 51 03 04 65 05"}, {48, "90 3C 64"}, {53, "80 3C 00"}};
  for (int64_t tick = 96; tick <= 96 * 20; tick += 96)
    for (const int64_t at : {tick, tick + 10})
      notes.insert(notes.end(), {{at, "90 3C 64"}, {at + 5, "80 3C 00"}});
  std::set<int64_t> first, gaps;
  for (uint32_t seed = 1; seed <= 8; ++seed) {
    std::vector<int64_t> starts;
    for (const Heard& e : pressed({trackHex(notes)}, 0, {20, false, 0, 0}, seed))
      if (e.status == 0x90) starts.push_back(e.tick);
    first.insert(starts[0]);
    for (size_t i = 1; i + 1 < starts.size(); i += 2) gaps.insert(starts[i + 1] - starts[i]);
  }
  EXPECT_GE(first.size(), 3u);
  EXPECT_TRUE(gaps.size() > 1 && *gaps.begin() >= 5 && *gaps.rbegin() <= 15) << gaps.size();
}
