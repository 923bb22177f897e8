#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "support/midi_builder.h"
#include "support/musical_check.h"
#include "transform/musical_press.h"
#include "transform/song_tracks.h"

namespace {

std::string varLen(uint32_t value) {
  std::string groups;
  char text[4];
  for (int shift = 21; shift > 0; shift -= 7) {
    if (value >> shift) {
      std::snprintf(text, sizeof text, "%02X ", 0x80 | ((value >> shift) & 0x7F));
      groups += text;
    }
  }
  std::snprintf(text, sizeof text, "%02X ", value & 0x7F);
  return groups + text;
}

// Events at absolute ticks, as hex, written out in tick order (ties in the
// order given) with their delta times.
struct TrackText {
  std::vector<std::pair<int64_t, std::string>> events;
  void add(int64_t tick, const std::string& hex) { events.emplace_back(tick, hex); }
  std::string hex() {
    std::stable_sort(events.begin(), events.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string out;
    int64_t at = 0;
    for (const auto& [tick, bytes] : events) {
      out += varLen(static_cast<uint32_t>(tick - at)) + bytes + " ";
      at = tick;
    }
    return out + varLen(0) + "FF 2F 00";
  }
};

std::string byteHex(int value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value & 0xFF);
  return text;
}

std::string statusHex(int kind, int channel) { return byteHex(kind | channel); }

// A dense, awkward track: chords, repeated and overlapping keys, notes of
// no length, doubled note-offs, drums, controllers in front of notes, the
// file's own bends, a bend range of 12 semitones on channel 2, starts one
// tick apart and long gaps.
std::string denseTrack(uint32_t seed) {
  uint32_t state = seed;
  auto next = [&state](uint32_t below) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % below;
  };
  TrackText track;
  track.add(0, "FF 03 05 44 65 6E 73 65");
  for (const char* rpn : {"B1 65 00", "B1 64 00", "B1 06 0C", "B1 26 00"}) track.add(0, rpn);
  int64_t tick = 0;
  const int steps[] = {0, 1, 1, 2, 3, 5, 12, 24, 48, 96, 500};
  for (int i = 0; i < 600; ++i) {
    tick += steps[next(11)];
    const int channel = next(4) == 0 ? 9 : static_cast<int>(next(2));
    const int key = 60 + static_cast<int>(next(4));
    const int lengths[] = {0, 1, 2, 7, 24, 96, 300};
    const int64_t length = lengths[next(7)];
    if (next(8) == 0) track.add(tick, statusHex(0xB0, channel) + " 07 " + byteHex(next(128)));
    if (next(10) == 0) track.add(tick, statusHex(0xE0, channel) + " 00 " + byteHex(next(128)));
    track.add(tick, statusHex(0x90, channel) + " " + byteHex(key) + " " + byteHex(1 + next(127)));
    const std::string off = next(2) ? statusHex(0x80, channel) + " " + byteHex(key) + " 40"
                                    : statusHex(0x90, channel) + " " + byteHex(key) + " 00";
    track.add(tick + length, off);
    if (next(20) == 0) track.add(tick + length, off);
    if (next(30) == 0) track.add(tick + next(50), "F0 03 7E 7F F7");
  }
  return track.hex();
}

std::string conductorTrack() {
  TrackText track;
  track.add(0, "FF 51 03 07 A1 20");
  track.add(2000, "FF 51 03 01 E8 48");  // 125,000 us: four times as fast
  track.add(6000, "FF 51 03 0F 42 40");  // 1,000,000 us
  return track.hex();
}

}  // namespace

TEST(MusicalPress, KeepsEveryPromiseOnDenseTracksAndRealFiles) {
  const std::vector<MusicalAmounts> kinds = {
      {200, false, 100, 64}, {20, false, 10, 5}, {15, true, 50, 0}, {200, true, 0, 30},
      {0, false, 100, 0},    {1, false, 0, 0},   {0, false, 0, 64},
  };
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    const std::vector<uint8_t> file = midiFile(
        {conductorTrack(), denseTrack(seed), denseTrack(seed * 7 + 1), denseTrack(seed + 99)});
    const MusicalAmounts& a = kinds[seed % kinds.size()];
    const MusicalAmounts& b = kinds[(seed + 3) % kinds.size()];
    EXPECT_EQ(musicalPressProblem(file.data(), file.size(), {a, a, b, {}}, seed), "") << seed;
  }
  int file = 0;
  for (const auto& [name, bytes] : sampleMidiFiles()) {
    ++file;
    for (uint32_t seed : {1u, 77u}) {
      std::vector<MusicalAmounts> amounts;
      for (int t = 0; t < 40; ++t) amounts.push_back(kinds[(t + file + seed) % kinds.size()]);
      EXPECT_EQ(musicalPressProblem(bytes.data(), bytes.size(), amounts, seed), "") << name;
    }
    if (HasFailure()) return;
  }
}

namespace {

struct Placed {
  int64_t tick;
  uint8_t status, data1, data2;
};

// The track after a musical press of `amounts` with `seed`, as (tick, bytes).
std::vector<Placed> pressed(const std::vector<std::string>& tracks, int track,
                            const MusicalAmounts& amounts, uint32_t seed) {
  Song& song = loadSong(midiFile(tracks));
  std::vector<MusicalAmounts> all(allTrackCount(song));
  all[track] = amounts;
  musicalPress(song, all, seed);
  std::vector<Placed> out;
  const TrackSlot& slot = trackAt(song, track);
  const std::vector<int64_t> ticks = absoluteTicks(slot);
  size_t i = 0;
  for (const MidiEvent* e = &slot.head; e != nullptr; e = e->next) {
    out.push_back({ticks[i++], e->status, e->data1, e->data2});
  }
  return out;
}

int64_t tickOf(const std::vector<Placed>& events, uint8_t status, uint8_t key) {
  for (const Placed& e : events) {
    if (e.status == status && e.data1 == key) return e.tick;
  }
  return -1;
}

}  // namespace

TEST(MusicalPress, StartsOneTickApartCannotMove) {
  // Half the gap to a neighbour one tick away is nothing: whatever the seed,
  // the run of sixteenths at one tick each stays as written.
  const std::string track =
      "00 90 3C 64  01 90 3E 64  01 90 40 64  01 80 3C 00  00 80 3E 00  00 80 40 00  00 FF 2F 00";
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    const std::vector<Placed> out = pressed({track}, 0, {200, false, 0, 0}, seed);
    EXPECT_EQ(tickOf(out, 0x90, 0x3C), 0);
    EXPECT_EQ(tickOf(out, 0x90, 0x3E), 1);
    EXPECT_EQ(tickOf(out, 0x90, 0x40), 2);
    EXPECT_EQ(tickOf(out, 0x80, 0x3C), 3);
  }
}

TEST(MusicalPress, AChordMovesWholeWithTheControllerInFrontOfIt) {
  // A name and a D at 0, then at 96 a volume change and C-E-G for a
  // quarter, a C at 288.
  const std::string track =
      "00 FF 03 01 41  00 90 3E 64  30 80 3E 00  30 B0 07 64  00 90 3C 64  00 90 40 64  00 90 43 64  60 80 3C 00  "
      "00 80 40 00  00 80 43 00  60 90 48 64  60 80 48 00  00 FF 2F 00";
  bool moved = false;
  for (uint32_t seed = 1; seed <= 10; ++seed) {
    const std::vector<Placed> out = pressed({track}, 0, {200, false, 0, 0}, seed);
    SCOPED_TRACE(seed);
    const int64_t chord = tickOf(out, 0x90, 0x3C);
    moved |= chord != 96;
    // Less than half the 96 ticks to each neighbour: at most 47 either way.
    EXPECT_LE(std::abs(chord - 96), 47);
    EXPECT_EQ(out[3].status, 0xB0);  // the volume change still leads
    EXPECT_EQ(out[3].tick, chord);
    EXPECT_EQ(tickOf(out, 0x90, 0x40), chord);
    EXPECT_EQ(tickOf(out, 0x90, 0x43), chord);
    EXPECT_EQ(tickOf(out, 0x80, 0x43), chord + 96);
  }
  EXPECT_TRUE(moved);
}

TEST(MusicalPress, ANoteEndsWhereTheNextOfItsKeyStarts) {
  // C for a quarter at 96, C again at 192 (legato), D at 400.
  const std::string track =
      "00 FF 03 01 41  60 90 3C 64  60 80 3C 00  00 90 3C 64  60 80 3C 00  "
      "81 20 90 3E 64  60 80 3E 00  00 FF 2F 00";
  int cut = 0;
  for (uint32_t seed = 1; seed <= 30; ++seed) {
    const std::vector<Placed> out = pressed({track}, 0, {100, false, 0, 0}, seed);
    const int64_t first = out[1].tick, second = out[3].tick;
    ASSERT_EQ(out[2].status, 0x80) << seed;  // the first note's end, before the second start
    ASSERT_EQ(out[3].status, 0x90) << seed;
    if (first - 96 > second - 192) {
      ++cut;
      EXPECT_EQ(out[2].tick, second) << seed;  // cut short where the second starts
    } else {
      EXPECT_EQ(out[2].tick, first + 96) << seed;  // its quarter kept
    }
  }
  EXPECT_GT(cut, 5);
}

TEST(MusicalPress, BendsInCentsAgainstTheFilesRangeAroundItsOwnBend) {
  // Channel 2: bend range 12 semitones, held down by half of it (bend
  // 4096); then 200 notes a quarter apart.
  std::string track = "00 B1 65 00  00 B1 64 00  00 B1 06 0C  00 E1 00 20 ";
  for (int i = 0; i < 200; ++i) track += "60 91 3C 64  30 81 3C 00 ";
  track += "00 FF 2F 00";
  const std::vector<Placed> out = pressed({track}, 0, {0, false, 100, 0}, 3);
  // 100 cents of a 1,200-cent range: 8192 / 12 = 682 steps either way, not
  // the 4,096 of the default 2 semitones.
  int bends = 0, wide = 0;
  for (size_t i = 4; i + 1 < out.size(); ++i) {
    if (out[i].status != 0xE1) continue;
    const int value = out[i].data1 | out[i].data2 << 7;
    if (out[i + 1].status == 0x91) {
      ++bends;
      EXPECT_LE(std::abs(value - 4096), 682) << i;
      wide += std::abs(value - 4096) > 409;
    } else {
      EXPECT_EQ(value, 4096) << i;  // back to the file's bend after each note
      EXPECT_EQ(out[i - 1].status, 0x81) << i;
    }
  }
  EXPECT_EQ(bends, 200);
  EXPECT_GT(wide, 0);
}

TEST(MusicalPress, MillisecondsFollowTheTempoMap) {
  // 96 ticks a quarter. Until tick 2000, 500,000 us a quarter (5.2 ms a
  // tick): 10 ms is one tick at most. Then 125,000 us (1.3 ms a tick): 10 ms
  // is up to 7 ticks. Notes every 40 ticks on the second track.
  TrackText text;
  for (int i = 1; i <= 150; ++i) {
    text.add(i * 40, "90 3C 64");
    text.add(i * 40 + 16, "80 3C 00");
  }
  TrackText tempo;
  tempo.add(0, "FF 51 03 07 A1 20");
  tempo.add(2000, "FF 51 03 01 E8 48");
  int64_t slowest = 0, fastest = 0;
  for (uint32_t seed = 1; seed <= 4; ++seed) {
    const std::vector<Placed> out = pressed({tempo.hex(), text.hex()}, 1, {10, true, 0, 0}, seed);
    int n = 0;
    for (const Placed& e : out) {
      if (e.status != 0x90) continue;
      const int64_t written = ++n * 40, move = std::abs(e.tick - written);
      (written < 2000 ? slowest : fastest) = std::max(written < 2000 ? slowest : fastest, move);
    }
  }
  EXPECT_EQ(slowest, 1);
  EXPECT_GE(fastest, 5);
  EXPECT_LE(fastest, 7);
}
