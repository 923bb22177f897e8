// Fuzzes what a song goes through after it is read: load, presses in either
// style (classic: one to three, each then a velocity shift; musical: one,
// checked track by track and over the whole song: onsets and gestures, what
// changes a note's sound, legato joins, bends only where the channel is
// free), save, and reading the saved file again, each checked by the tests'
// own checkers.
//
// An input is a MIDI image and 11 bytes of settings: control (bit 0 musical;
// bits 1-2 classic presses - 1, 3 counting as 0; bit 3 musical time in ms),
// the seed (4 bytes, least significant first), the time, pitch and velocity
// amounts (each modulo one more than its style's limit), and for each a mask:
// track t gets the amount when bit t % 8 is set.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "song/song_tracks.h"
#include "support/midi_builder.h"
#include "support/press_check.h"
#include "transform/classic_press.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 11 || size > (1 << 20)) return 0;
  const uint8_t* s = data + size - 11;
  const bool musical = s[0] & 1, inMs = musical && (s[0] & 8);
  const uint32_t seed = s[1] | s[2] << 8 | s[3] << 16 | uint32_t{s[4]} << 24;
  const std::vector<uint8_t> image(data, s);
  Song& song = loadSong(image);
  if (song.pieces.empty()) return 0;  // no MIDI header: Load refuses it
  const std::vector<uint8_t> unpressed = saveSong();
  const int32_t limits[] = {!musical ? kMaxTimeShift
                            : inMs   ? kMaxMusicalTimeMs
                                     : kMaxMusicalTimeTicks,
                            musical ? kMaxPitchCents : kMaxPitchShift, kMaxVelocityShift};
  std::vector<TrackAmounts> amounts;
  std::vector<int32_t> velocities;
  for (int t = 0; t < allTrackCount(song); ++t) {
    int32_t amount[3];
    for (int i = 0; i < 3; ++i)
      amount[i] = (s[8 + i] >> (t % 8)) & 1 ? s[5 + i] % (limits[i] + 1) : 0;
    amounts.push_back({amount[0], inMs, amount[1], amount[2]});
    velocities.push_back(amount[2]);
    trackAt(song, t).timeShift = amount[0];
    trackAt(song, t).pitchShift = amount[1];
    trackAt(song, t).velocityShift = amount[2];
  }
  std::string problem;
  if (musical) {
    problem = musicalPressProblem(image, amounts, seed);  // leaves the song pressed
  } else {
    ClassicRandom random = classicRandom(song, seed);
    for (int press = 0; press <= ((s[0] >> 1) & 3) % 3 && problem.empty(); ++press) {
      const SongHeard before = hearSong(song);
      classicPress(song, random);
      problem = classicPressProblem(before, song, velocities);
    }
  }
  if (problem.empty()) problem = writtenFileProblem(unpressed, saveSong());
  if (!problem.empty()) {
    std::fprintf(stderr, "pipeline check failed: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
