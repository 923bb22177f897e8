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
