#include "transform/musical_press.h"

#include <algorithm>

#include "song/midi.h"
#include "song/song.h"
#include "song/song_tracks.h"
#include "transform/bend_range.h"
#include "transform/musical_pitch.h"
#include "transform/musical_random.h"
#include "transform/musical_time.h"
#include "transform/pitch_shift.h"
#include "transform/tempo_map.h"
#include "transform/velocity_shift.h"

namespace {

// Whether every delta time after the head leaves room for two moves: an
// event moved later after one moved earlier widens their gap by as much, and
// a delta time past kMaxDeltaTime cannot be written (held there, it would
// pull every later event early).
bool leavesRoomToMove(const TrackSlot& slot) {
  for (const MidiEvent* e = slot.head.next; e != nullptr; e = e->next) {
    if (int64_t{e->deltaTime} > int64_t{kMaxDeltaTime} - 2 * kMaxMoveTicks) return false;
  }
  return true;
}

// The steps in turn on one track whose events move or take bends. Tempo and
// bend ranges are read once, from the song as loaded: the press moves
// neither tempo changes nor the parameter messages that set ranges off their
// ticks, and every track's draws are made against the same map.
struct Press {
  Song& song;
  uint32_t seed;
  TempoMap tempo = buildTempoMap(song);
  BendRanges ranges = buildBendRanges(song);
  TimeWork time{};

  void track(TrackSlot& slot, const TrackAmounts& amounts, uint32_t t,
             MusicalTrackSummary& summary) {
    // Events change places and bends come between them: each must carry its
    // own status byte.
    expandRunningStatus(slot);
    // The End of Track stays last: on its tick, or on the last event's when
    // a move or a return of the bend went past it. The steps see the events
    // before it (all of them when the track has none, or is nothing else).
    size_t count = 1;
    MidiEvent* end = &slot.head;
    for (; end->next != nullptr; end = end->next) ++count;
    if (end == &slot.head || !isEndOfTrack(*end)) end = nullptr;
    MusicalRandom timeRandom = musicalStream(seed, MusicalStream::kTime, t);
    const int64_t lastTick = layOutTrack(time, slot, end != nullptr ? count - 1 : count, amounts,
                                         tempo, timeRandom, summary);
    const std::vector<TimedEvent>& events = time.events;
    TrackChain chain(slot.head, events.front().tick);
    if (amounts.pitch != 0) {
      MusicalRandom pitchRandom = musicalStream(seed, MusicalStream::kPitch, t);
      bendTrack(song, events, amounts.pitch, ranges, pitchRandom, chain, summary);
    } else {
      for (size_t i = 1; i < events.size(); ++i) chain.append(events[i].event, events[i].newTick);
    }
    if (end != nullptr) chain.append(end, std::max(lastTick + end->deltaTime, chain.lastTick));
    chain.close();
  }
};

}  // namespace

void musicalPress(Song& song, const std::vector<TrackAmounts>& amounts, uint32_t seed,
                  std::vector<MusicalTrackSummary>* summaries) {
  const int32_t tracks = allTrackCount(song);
  if (summaries != nullptr) summaries->assign(tracks, MusicalTrackSummary());
  Press press{song, seed};
  for (int32_t t = 0; t < tracks && t < static_cast<int32_t>(amounts.size()); ++t) {
    TrackSlot& slot = trackAt(song, t);
    TrackAmounts a = amounts[t];
    // Only a damaged or made-up file has such a gap: its track keeps its timing.
    if (a.time != 0 && !leavesRoomToMove(slot)) a.time = 0;
    MusicalTrackSummary summary;
    if (a.velocity != 0) {
      MusicalRandom random =
          musicalStream(seed, MusicalStream::kVelocity, static_cast<uint32_t>(t));
      summary.velocitiesChanged = applyVelocityShift(slot, a.velocity, random);
    }
    if (a.time != 0 || a.pitch != 0) press.track(slot, a, static_cast<uint32_t>(t), summary);
    if (summaries != nullptr) (*summaries)[t] = summary;
  }
}
