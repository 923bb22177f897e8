#include "transform/musical_press.h"

#include <algorithm>
#include <functional>
#include <numeric>

#include "song/midi.h"
#include "song/song.h"
#include "song/song_tracks.h"
#include "transform/bend_range.h"
#include "transform/musical_onsets.h"
#include "transform/musical_pitch.h"
#include "transform/musical_random.h"
#include "transform/musical_time.h"
#include "transform/pitch_shift.h"
#include "transform/tempo_map.h"
#include "transform/velocity_shift.h"
#include "transform/work_parts.h"

namespace {

// A track's events to read for the press: the End of Track is kept out of
// them, to be linked last (all of them are read when the track has none, or
// is nothing else). And whether every delta time after the head leaves room
// for two moves: an event moved later after one moved earlier widens their
// gap by as much, and a delta time past kMaxDeltaTime cannot be written
// (held there, it would pull every later event early).
struct TrackCount {
  size_t events;
  bool roomToMove;
};

TrackCount countTrack(TrackWork& work, TrackSlot& slot) {
  TrackCount counted = {1, true};
  MidiEvent* end = &slot.head;
  for (; end->next != nullptr; end = end->next) {
    ++counted.events;
    if (int64_t{end->next->deltaTime} > int64_t{kMaxDeltaTime} - 2 * kMaxMoveTicks)
      counted.roomToMove = false;
  }
  if (end == &slot.head || !isEndOfTrack(*end)) end = nullptr;
  work.endOfTrack = end;
  if (end != nullptr) --counted.events;
  return counted;
}

}  // namespace

void musicalPress(Song& song, const std::vector<TrackAmounts>& amounts, uint32_t seed,
                  std::vector<MusicalTrackSummary>* summaries) {
  const int32_t count = allTrackCount(song);
  std::vector<MusicalTrackSummary> pressed(count);
  std::vector<TrackWork> tracks(count);
  // Tracks past the amounts given have none.
  for (auto [work, a] = std::pair(tracks.begin(), amounts.begin());
       work != tracks.end() && a != amounts.end(); ++work, ++a)
    work->amounts = *a;
  // Each track on its own: its amounts, velocities and running status, and
  // its events counted.
  const auto prepare = [&](int32_t t) {
    TrackSlot& slot = trackAt(song, t);
    TrackWork& work = tracks[t];
    TrackAmounts& a = work.amounts;
    const TrackCount counted = countTrack(work, slot);
    work.events.count = counted.events;
    // Only a damaged or made-up file has such a gap: its track keeps its timing.
    if (a.time != 0 && !counted.roomToMove) a.time = 0;
    if (a.velocity != 0) {
      MusicalRandom random =
          musicalStream(seed, MusicalStream::kVelocity, static_cast<uint32_t>(t));
      pressed[t].velocitiesChanged = applyVelocityShift(slot, a.velocity, random);
    }
    work.pressed = a.time != 0 || a.pitch != 0;
    // A pressed track carries each status byte: events change places and
    // bends come between them.
    if (work.pressed) expandRunningStatus(slot);
  };
  // Nothing tells a track's size before it is counted: each weighs alike,
  // by the events of the file as read.
  const size_t share = song.eventsRead / std::max(count, 1);
  inParts(
      count, [share](size_t) { return share; },
      [&](size_t first, size_t last) {
        for (size_t t = first; t < last; ++t) prepare(static_cast<int32_t>(t));
      });
  PoolBuffer<TimedEvent> events(
      std::transform_reduce(tracks.begin(), tracks.end(), size_t{}, std::plus<>(),
                            [](const TrackWork& work) { return work.events.count; }));
  TimedEvent* next = events.data();
  for (TrackWork& work : tracks) {
    work.events.first = next;
    next += work.events.count;
  }
  inParts(
      count, [&](size_t t) { return tracks[t].events.count; },
      [&](size_t first, size_t last) {
        std::vector<KeyState> keys(kKeyCount);
        for (size_t t = first; t < last; ++t)
          readTrack(tracks[t], trackAt(song, static_cast<int32_t>(t)), keys);
      });
  // Tempo and bend ranges as the tracks were read, before anything moves:
  // the press moves neither tempo changes nor the parameter messages that
  // set ranges off their ticks.
  std::vector<TempoChange> tempoChanges;
  BendRanges ranges;
  for (const TrackWork& work : tracks) {
    tempoChanges.insert(tempoChanges.end(), work.tempos.begin(), work.tempos.end());
    for (int c = 0; c < kChannelCount; ++c) {
      const std::vector<BendRangeChange>& changes = work.bendRanges.changes[c];
      ranges.changes[c].insert(ranges.changes[c].end(), changes.begin(), changes.end());
    }
  }
  const TempoMap tempo = tempoMapOf(song.division, std::move(tempoChanges));
  sortBendRanges(ranges);
  const PoolVector<Onset> onsets = drawOnsets(tracks, tempo, seed);
  placeTracks(tracks, onsets, tempo, pressed);
  bendSong(song, tracks, ranges, seed, pressed);
  if (summaries != nullptr) *summaries = std::move(pressed);
}
