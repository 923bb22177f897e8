// Fuzzes everything a song goes through after it is read: load, one to
// three presses, save, and reading the saved file again.
//
// An input is a MIDI image followed by kSettingsBytes of settings (see
// Settings). For every input it checks, besides what the sanitizers catch:
// - each press keeps what a classic press promises (classicPressProblem);
// - each press takes CPU time linear in the song's events (pressTimeBudget);
// - the written file is laid out right, holds as many tracks as the song and
//   reads back in step to the same bytes (writtenFileProblem);
// - a track with no amounts comes back with the very chunk it had.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "support/midi_builder.h"
#include "support/press_check.h"
#include "transform/random_source.h"
#include "transform/transform.h"

namespace {

// The last bytes of an input, in this order.
struct Settings {
  uint8_t control;     // bits 1-2: presses - 1 (3 counts as 0); bits 4-5 both set: repeat
  uint32_t seed;       // four bytes, least significant first
  uint8_t timeShift;   // taken modulo kMaxTimeShift + 1: ticks
  uint8_t pitchShift;  // taken modulo kMaxPitchShift + 1: bend steps
  uint8_t timeTracks;  // bit t % 8 set: track t + 1 gets the time shift
  uint8_t pitchTracks;
};
constexpr size_t kSettingsBytes = 9;

Settings readSettings(const uint8_t* bytes) {
  return {
      bytes[0], static_cast<uint32_t>(bytes[1] | bytes[2] << 8 | bytes[3] << 16 | bytes[4] << 24),
      bytes[5], bytes[6],
      bytes[7], bytes[8]};
}

int pressCount(const Settings& settings) { return 1 + ((settings.control >> 1) & 3) % 3; }

int64_t eventCount(const Song& song) {
  int64_t events = 0;
  for (int t = 0; t < trackTotal(song); ++t) events += absoluteTicks(trackAt(song, t)).size();
  return events;
}

// A small input makes a small song, on which a press that walks its track
// once per event still looks fast. So one input in four is made long: each
// track's events before its End of Track are played kRepeats times over, up
// to kMaxRepeatedEvents in all, and the song saved and read again so that
// what is pressed is what the reader makes of a file.
constexpr int kRepeats = 32;
constexpr int64_t kMaxRepeatedEvents = 100000;

bool repeats(const Settings& settings) { return (settings.control & 0x30) == 0x30; }

void copyEvent(const MidiEvent& from, MidiEvent& to) {
  to.deltaTime = from.deltaTime;
  to.status = from.status;
  to.data1 = from.data1;
  to.data2 = from.data2;
  to.dataLength = from.dataLength;
  if (from.dataLength > 2) {
    to.extra = new uint8_t[static_cast<size_t>(from.dataLength - 2)];
    std::copy(from.extra, from.extra + from.dataLength - 2, to.extra);
  }
}

// Links `times - 1` copies of the events before the chain's last one in
// front of it.
void repeatEvents(TrackSlot& slot, int64_t times) {
  std::vector<const MidiEvent*> body;
  MidiEvent* before = nullptr;
  MidiEvent* last = &slot.head;
  for (; last->next != nullptr; last = last->next) body.push_back(before = last);
  if (before == nullptr) return;
  for (int64_t r = 1; r < times; ++r) {
    for (const MidiEvent* event : body) {
      before->next = new MidiEvent;
      before = before->next;
      copyEvent(*event, *before);
    }
  }
  before->next = last;
}

std::vector<uint8_t> repeatedSong(const std::vector<uint8_t>& image) {
  Song& song = loadSong(image);
  const int64_t events = eventCount(song);
  if (events == 0) return image;
  const int64_t times = std::min<int64_t>(kRepeats, kMaxRepeatedEvents / events);
  for (int t = 0; t < song.trackCount; ++t) repeatEvents(song.tracks[t], times);
  for (TrackSlot& slot : song.extraTracks) repeatEvents(slot, times);
  return saveSong();
}

bool hasAmount(int track, uint8_t tracks) { return (tracks >> (track % 8)) & 1; }

void giveAmounts(Song& song, const Settings& settings) {
  for (int t = 0; t < song.trackCount; ++t) {
    song.tracks[t].timeShift =
        hasAmount(t, settings.timeTracks) ? settings.timeShift % (kMaxTimeShift + 1) : 0;
    song.tracks[t].pitchShift =
        hasAmount(t, settings.pitchTracks) ? settings.pitchShift % (kMaxPitchShift + 1) : 0;
  }
}

bool pressed(const TrackSlot& slot) { return slot.timeShift != 0 || slot.pitchShift != 0; }

// Inputs are capped (-max_len), so a press that walks its track once per
// event still ends well inside libFuzzer's -timeout; the budget catches it:
// a generous fixed part for the allocator's first touches, then a few
// microseconds of CPU time per event, far above what a linear press needs
// even under the sanitizers.
double pressTimeBudget(int64_t events) { return 0.05 + 5e-6 * static_cast<double>(events); }

[[noreturn]] void finding(const std::string& what) {
  std::fprintf(stderr, "pipeline check failed: %s\n", what.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kSettingsBytes || size > (1 << 20)) return 0;
  const Settings settings = readSettings(data + size - kSettingsBytes);
  std::vector<uint8_t> image(data, data + size - kSettingsBytes);
  if (repeats(settings)) image = repeatedSong(image);
  Song& song = loadSong(image);
  const std::vector<uint8_t> loaded = saveSong();
  giveAmounts(song, settings);
  const int tracks = trackTotal(song);

  RandomSource random;
  seedRandomSource(random, settings.seed);
  for (int press = 1; press <= pressCount(settings); ++press) {
    const SongSnapshot before = snapshotSong(song);
    const int64_t events = eventCount(song);
    TrackPressSummary summaries[kMaxTracks];
    const std::clock_t start = std::clock();
    transformSong(random, summaries);
    const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    if (seconds > pressTimeBudget(events))
      finding("press " + std::to_string(press) + " took " + std::to_string(seconds) + " s for " +
              std::to_string(events) + " events");
    const std::string problem = classicPressProblem(before, song, summaries);
    if (!problem.empty()) finding("press " + std::to_string(press) + ": " + problem);
  }

  std::vector<bool> changed;
  for (int t = 0; t < tracks; ++t) changed.push_back(pressed(trackAt(song, t)));
  const std::vector<uint8_t> written = saveSong();
  const std::string problem = writtenFileProblem(written, tracks);
  if (!problem.empty()) finding(problem);

  ChunkLayout before, after;
  if (!chunkLayoutProblem(loaded, before).empty() || !chunkLayoutProblem(written, after).empty())
    finding("a file saved without a press is laid out wrong");
  for (int t = 0; t < tracks; ++t) {
    if (!changed[t] && before.tracks[t] != after.tracks[t])
      finding("track " + std::to_string(t + 1) + " had no amounts but changed");
  }
  return 0;
}
