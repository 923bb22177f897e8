// Fuzzes everything a song goes through after it is read: load, a press in
// either style (classic: one to three presses; musical: one), save, and
// reading the saved file again.
//
// An input is a MIDI image followed by kSettingsBytes of settings (see
// Settings). For every input it checks, besides what the sanitizers catch:
// - each classic press keeps what it promises (classicPressProblem, then
//   velocityShiftProblem), a musical press what it promises
//   (musicalPressProblem);
// - each press takes user CPU time linear in the song's events
//   (pressTimeBudget);
// - the written file is laid out right, holds as many tracks as the song and
//   reads back in step to the same bytes (writtenFileProblem);
// - it has the same bytes outside the tracks as the file saved without a
//   press, and a track with no amounts comes back with the very chunk it had.
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/midi_builder.h"
#include "support/musical_check.h"
#include "support/press_check.h"
#include "transform/later_tracks.h"
#include "transform/musical_amounts.h"
#include "transform/musical_press.h"
#include "transform/musical_random.h"
#include "transform/random_source.h"
#include "transform/song_tracks.h"
#include "transform/transform.h"
#include "transform/velocity_shift.h"

namespace {

// The last bytes of an input, in this order. An amount byte is taken modulo
// one more than its style's limit; a track t gets an amount when bit t % 8
// of its mask is set.
struct Settings {
  uint8_t control;  // bit 0: musical; bits 1-2: presses - 1 (3 counts as 0);
                    // bit 3: time in ms (musical); bits 4-5 both set: repeat
  uint32_t seed;    // four bytes, least significant first
  uint8_t time, pitch, velocity;
  uint8_t timeTracks, pitchTracks, velocityTracks;
};
constexpr size_t kSettingsBytes = 11;

Settings readSettings(const uint8_t* bytes) {
  return {
      bytes[0], static_cast<uint32_t>(bytes[1] | bytes[2] << 8 | bytes[3] << 16 | bytes[4] << 24),
      bytes[5], bytes[6],
      bytes[7], bytes[8],
      bytes[9], bytes[10]};
}

bool musical(const Settings& settings) { return settings.control & 1; }
bool timeInMs(const Settings& settings) { return musical(settings) && (settings.control & 8); }
int pressCount(const Settings& settings) { return 1 + ((settings.control >> 1) & 3) % 3; }
bool repeats(const Settings& settings) { return (settings.control & 0x30) == 0x30; }

int32_t amount(uint8_t value, int32_t limit, int track, uint8_t tracks) {
  return (tracks >> (track % 8)) & 1 ? value % (limit + 1) : 0;
}

// One entry per track of `song`; the pitch amount in steps (classic) or
// cents (musical).
std::vector<MusicalAmounts> amountsFor(const Song& song, const Settings& s) {
  const int32_t timeLimit = !musical(s)   ? kMaxTimeShift
                            : timeInMs(s) ? kMaxMusicalTimeMs
                                          : kMaxMusicalTimeTicks;
  const int32_t pitchLimit = musical(s) ? kMaxPitchCents : kMaxPitchShift;
  std::vector<MusicalAmounts> amounts;
  for (int t = 0; t < allTrackCount(song); ++t) {
    amounts.push_back({amount(s.time, timeLimit, t, s.timeTracks), timeInMs(s),
                       amount(s.pitch, pitchLimit, t, s.pitchTracks),
                       amount(s.velocity, kMaxVelocityShift, t, s.velocityTracks)});
  }
  return amounts;
}

int64_t eventCount(const Song& song) {
  int64_t events = 0;
  for (int t = 0; t < allTrackCount(song); ++t) events += absoluteTicks(trackAt(song, t)).size();
  return events;
}

// A small input makes a small song, on which a press that walks its track
// once per event still looks fast. So one input in four is made long: each
// track's events before its End of Track are played kRepeats times over, up
// to kMaxRepeatedEvents in all, and the song saved and read again so that
// what is pressed is what the reader makes of a file.
constexpr int kRepeats = 32;
constexpr int64_t kMaxRepeatedEvents = 100000;

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
// front of it, made in `song`.
void repeatEvents(Song& song, TrackSlot& slot, int64_t times) {
  std::vector<const MidiEvent*> body;
  MidiEvent* before = nullptr;
  MidiEvent* last = &slot.head;
  for (; last->next != nullptr; last = last->next) body.push_back(before = last);
  if (before == nullptr) return;
  for (int64_t r = 1; r < times; ++r) {
    for (const MidiEvent* event : body) {
      before->next = newEvent(song);
      before = before->next;
      copyEvent(*event, *before);
    }
  }
  before->next = last;
}

std::vector<uint8_t> repeatedSong(const std::vector<uint8_t>& image) {
  Song& song = loadSong(image);
  const int64_t events = eventCount(song);
  if (song.pieces.empty() || events == 0) return image;
  const int64_t times = std::min<int64_t>(kRepeats, kMaxRepeatedEvents / events);
  for (int t = 0; t < allTrackCount(song); ++t) repeatEvents(song, trackAt(song, t), times);
  return saveSong();
}

// Inputs are capped (-max_len), so a press that walks its track once per
// event still ends well inside libFuzzer's -timeout; the budget catches it:
// a fixed part, then a few microseconds of user CPU time per event, far
// above what a linear press needs even under the sanitizers. The machine's
// load and the kernel's page faults show in a time too, so a press over
// budget is a finding only when it is over again in two more runs.
double pressTimeBudget(int64_t events) { return 0.05 + 5e-6 * static_cast<double>(events); }

double userSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec) +
         1e-6 * static_cast<double>(usage.ru_utime.tv_usec);
}

// The first press of a run that went over its budget, if any.
struct Timing {
  std::string overBudget;
};

// Times `press` against the budget for `events`.
template <typename Press>
void timed(int64_t events, const std::string& where, Timing& timing, Press press) {
  const double start = userSeconds();
  press();
  const double seconds = userSeconds() - start;
  if (seconds > pressTimeBudget(events) && timing.overBudget.empty())
    timing.overBudget =
        where + " took " + std::to_string(seconds) + " s for " + std::to_string(events) + " events";
}

[[noreturn]] void finding(const std::string& what) {
  std::fprintf(stderr, "pipeline check failed: %s\n", what.c_str());
  std::abort();
}

void findingUnless(const std::string& problem, const std::string& where) {
  if (!problem.empty()) finding(where + ": " + problem);
}

// The classic presses as the tool makes them: the first 16 tracks, then the
// rest, then each track's velocity shift from a stream of its own.
void pressClassic(Song& song, const std::vector<MusicalAmounts>& amounts, const Settings& s,
                  Timing& timing) {
  std::vector<MusicalRandom> velocityStreams;
  std::vector<int32_t> velocities;
  for (int t = 0; t < allTrackCount(song); ++t) {
    trackAt(song, t).timeShift = amounts[t].time;
    trackAt(song, t).pitchShift = amounts[t].cents;
    velocityStreams.push_back(musicalStream(s.seed, MusicalStream::kVelocity, t));
    velocities.push_back(amounts[t].velocity);
  }
  RandomSource random;
  seedRandomSource(random, s.seed);
  for (int press = 1; press <= pressCount(s); ++press) {
    const std::string where = "press " + std::to_string(press);
    const SongSnapshot before = snapshotSong(song);
    std::vector<TrackPressSummary> summaries(kMaxTracks), later;
    timed(eventCount(song), where, timing, [&] {
      transformSong(random, summaries.data());
      transformLaterTracks(song, random, later);
    });
    summaries.resize(song.trackCount);
    summaries.insert(summaries.end(), later.begin(), later.end());
    findingUnless(classicPressProblem(before, song, summaries), where);

    const SongSnapshot beforeVelocity = snapshotSong(song);
    timed(eventCount(song), where + "'s velocity shift", timing, [&] {
      for (int t = 0; t < allTrackCount(song); ++t) {
        if (velocities[t] != 0)
          applyVelocityShift(trackAt(song, t), velocities[t], velocityStreams[t]);
      }
    });
    findingUnless(velocityShiftProblem(beforeVelocity, song, velocities), where);
  }
}

// Presses a song read from `image` as `settings` say, checking each press,
// and returns the saved file.
std::vector<uint8_t> pressedFile(const std::vector<uint8_t>& image, const Settings& settings,
                                 const std::vector<MusicalAmounts>& amounts, Timing& timing) {
  if (musical(settings)) {
    // The check presses a song of its own; the one timed and written is
    // pressed the same way, as the tool does.
    findingUnless(musicalPressProblem(image.data(), image.size(), amounts, settings.seed),
                  "musical press");
    Song& song = loadSong(image);
    timed(eventCount(song), "musical press", timing,
          [&] { musicalPress(song, amounts, settings.seed); });
  } else {
    pressClassic(loadSong(image), amounts, settings, timing);
  }
  return saveSong();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kSettingsBytes || size > (1 << 20)) return 0;
  const Settings settings = readSettings(data + size - kSettingsBytes);
  std::vector<uint8_t> image(data, data + size - kSettingsBytes);
  if (repeats(settings)) image = repeatedSong(image);
  const Song& song = loadSong(image);
  if (song.pieces.empty()) return 0;  // no MIDI header: Load refuses it
  const std::vector<uint8_t> loaded = saveSong();
  const std::vector<MusicalAmounts> amounts = amountsFor(song, settings);
  const int tracks = allTrackCount(song);

  Timing timing;
  const std::vector<uint8_t> written = pressedFile(image, settings, amounts, timing);
  for (int again = 0; again < 2 && !timing.overBudget.empty(); ++again) {
    timing = Timing();
    pressedFile(image, settings, amounts, timing);
  }
  if (!timing.overBudget.empty()) finding(timing.overBudget + ", three times in a row");
  findingUnless(writtenFileProblem(written, tracks), "saved");

  FileLayout before, after;
  findingUnless(fileLayoutProblem(loaded, before), "saved without a press");
  fileLayoutProblem(written, after);
  if (after.outside != before.outside) finding("a press changed bytes outside the tracks");
  for (int t = 0; t < tracks; ++t) {
    const MusicalAmounts& a = amounts[t];
    if (a.time == 0 && a.cents == 0 && a.velocity == 0 && before.tracks[t] != after.tracks[t])
      finding("track " + std::to_string(t + 1) + " had no amounts but changed");
  }
  return 0;
}
