#include "transform/musical_time.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "song/song.h"
#include "transform/musical_onsets.h"
#include "transform/tempo_map.h"
#include "transform/work_parts.h"

namespace {

// Every key of every channel: channel × 128 + key. A key byte of 0x80 or
// more counts by its low seven bits.
int keyOf(const TimedEvent& e) { return (channelOf(e.status) << 7) | (e.data1 & 0x7F); }

// Puts back every key the events name, all kNone again: by the events
// where they are fewer than the keys, otherwise all keys at once, which
// costs less than reading a long track once more.
void putKeysBack(const TrackEvents& events, std::vector<KeyState>& keys) {
  if (events.size() > keys.size()) {
    std::fill(keys.begin(), keys.end(), KeyState{});
  } else {
    for (const TimedEvent& e : events) keys[keyOf(e)] = {};
  }
}

// Reads one event of a track: its role, and the track's floor, tempo
// changes and bend ranges. The floor is the tick below which no start may
// move: the head's, or that of a data byte with no channel status before it
// (only a damaged track has one), which is kept as read: were a channel
// message to pass it, the byte would be read under that message's status.
TimedEvent readEvent(TrackWork& work, const MidiEvent& e, int64_t tick, uint8_t& running,
                     BendRangeReader& ranges) {
  const ChannelMessage message = readChannelMessage(e, running);
  ranges.read(message, tick, work.bendRanges);
  EventRole role = EventRole::kFixed;
  if (isNoteStart(message)) {
    role = EventRole::kStart;
    work.heardChannels |= 1u << channelOf(message.status);
  } else if (isNoteEnd(message)) {
    role = EventRole::kEnd;
  } else if (message.isChannel) {
    role = EventRole::kFollower;  // if a start of its channel on its tick comes after it
    if (messageKind(message.status) == kPitchBend)
      work.heardChannels |= 1u << channelOf(message.status);
  } else if (e.status < kSystemExclusive) {
    work.floorTick = tick;  // neither a channel message nor a status byte of its own
  } else if (const uint32_t tempo = tempoOf(e)) {
    work.tempos.push_back({tick, tempo});
  }
  return {.tick = tick,
          .newTick = tick,
          .role = role,
          .status = message.status,
          .data1 = message.data1,
          .data2 = message.data2};
}

// Matches an end to the note it closes: the earliest sounding note of its
// key and channel, as a player's sequencer reads it. An end with no sounding
// note (a doubled Note Off) goes with the key's last note.
void pairEnd(TrackEvents& events, size_t i, std::vector<KeyState>& keys) {
  TimedEvent& e = events[i];
  const int32_t at = static_cast<int32_t>(i);
  if (e.role == EventRole::kStart) {
    KeyState& key = keys[keyOf(e)];
    key.lastStart = at;
    (key.lastOpen != kNone ? nextOpen(events[key.lastOpen]) : key.firstOpen) = at;
    key.lastOpen = at;
  } else if (e.role == EventRole::kEnd) {
    KeyState& key = keys[keyOf(e)];
    if (key.firstOpen != kNone) {
      e.link = key.firstOpen;
      e.paired = true;
      if (events[e.link].tick == e.tick) e.instant = events[e.link].instant = true;
      key.firstOpen = nextOpen(events[e.link]);
      if (key.firstOpen == kNone) key.lastOpen = kNone;
    } else {
      e.link = key.lastStart;
    }
  }
}

// One tick's events [first, end), read and paired: finds the channel
// messages that go with a start (those on its tick in front of a start of
// their channel) and the ends written on a later start of their channel
// (legato joins), then counts the track's starts and marks on each channel.
void closeTick(TrackWork& work, size_t first, size_t end) {
  TrackEvents& events = work.events;
  int32_t startOf[kChannelCount];
  std::fill(startOf, startOf + kChannelCount, kNone);
  for (size_t i = end; i-- > first;) {
    TimedEvent& e = events[i];
    const int c = channelOf(e.status);
    if (e.role == EventRole::kStart) {
      startOf[c] = static_cast<int32_t>(i);  // walking back: the first ends up here
    } else if (e.role == EventRole::kFollower) {
      e.link = startOf[c];
      if (e.link == kNone) e.role = EventRole::kFixed;
    }
  }
  for (size_t i = first; i < end; ++i) {
    TimedEvent& e = events[i];
    const int c = channelOf(e.status);
    if (e.role == EventRole::kEnd && e.link != kNone && events[e.link].tick < e.tick)
      e.following = startOf[c];  // its join
    work.startsOn[c] += e.role == EventRole::kStart;
    const MarkKind kind = markKind(work, e);
    if (kind == MarkKind::kBarrier) ++work.barriersOn[c];
    if (kind == MarkKind::kPoint) ++work.pointsOn[c];
  }
}

// A note ends no later than the next start of its key on a later tick;
// notes of one key that start together share that bound, so that their ends
// stay in the order they had. An end before any note of its key is followed
// by the key's first start. Walks the track back, then puts its keys back.
void boundEnds(TrackEvents& events, std::vector<KeyState>& keys) {
  for (size_t i = events.size(); i-- > 0;) {
    TimedEvent& e = events[i];
    if (e.role == EventRole::kStart) {
      KeyState& key = keys[keyOf(e)];
      const int32_t after = key.nextStart;
      e.following = after == kNone || events[after].tick > e.tick ? after : events[after].following;
      key.nextStart = static_cast<int32_t>(i);
    } else if (e.role == EventRole::kEnd && e.link == kNone) {
      e.following = keys[keyOf(e)].nextStart;
    }
  }
  putKeysBack(events, keys);
}

void countMove(MusicalTrackSummary& summary, const TempoMap& tempo, int64_t tick, int64_t move) {
  ++summary.notesMoved;
  summary.largestMoveTicks = std::max(summary.largestMoveTicks, std::abs(move));
  const double from = microsAtTick(tempo, static_cast<double>(tick));
  const double to = microsAtTick(tempo, static_cast<double>(tick + move));
  summary.largestMoveMs = std::max(summary.largestMoveMs, std::fabs(to - from) / 1000.0);
}

// Where an event goes in its track's new order: by new tick, then just in
// front of the event whose place it takes (its own; for an end cut short or
// joined, that start's, so that any reader pairs the notes as they were
// written), then as read.
struct Placing {
  int64_t newTick;
  uint64_t rank;  // the place taken << 33 | 1 << 32 where it is its own | as read
  uint32_t index() const { return static_cast<uint32_t>(rank); }
  bool operator<(const Placing& other) const {
    return newTick != other.newTick ? newTick < other.newTick : rank < other.rank;
  }
};

uint64_t rankAt(size_t place, bool own, size_t index) {
  return static_cast<uint64_t>(place) << 33 | static_cast<uint64_t>(own) << 32 | index;
}

// Ending on a start, the end goes just in front of it.
void endAt(TimedEvent& e, Placing& placing, const TrackEvents& events, int32_t start) {
  e.newTick = events[start].newTick;
  placing.rank = rankAt(static_cast<size_t>(start), false, placing.index());
}

// Gives the ends and followers of a track whose notes moved their new
// ticks, and where each goes in `order`.
void placeEnds(TrackEvents& events, std::vector<KeyState>& keys, PoolVector<Placing>& order) {
  order.resize(events.size());
  order[0] = {events[0].newTick, rankAt(0, true, 0)};  // the head keeps its place whatever it is
  constexpr size_t kAhead = 16;
  for (size_t i = 1; i < events.size(); ++i) {
    // The next start of a note's key, which its end may not pass, often
    // lies far on in the track: asked for well before that end comes.
    if (i + kAhead < events.size()) {
      const TimedEvent& ahead = events[i + kAhead];
      if (ahead.role == EventRole::kStart && ahead.following != kNone)
        __builtin_prefetch(&events[ahead.following]);
    }
    TimedEvent& e = events[i];
    Placing& placing = order[i];
    placing.rank = rankAt(i, true, i);
    if (e.role == EventRole::kFollower) e.newTick = events[e.link].newTick;
    if (e.role == EventRole::kEnd) {
      const TimedEvent* note = e.link != kNone ? &events[e.link] : nullptr;
      if (note != nullptr) {
        e.newTick += note->newTick - note->tick;
        if (joinOf(e) != kNone) endAt(e, placing, events, joinOf(e));
      }
      // A joined end already stands in front of the first start of its
      // channel on that tick, the next of its key among them.
      const int32_t next = note != nullptr ? note->following : e.following;
      const bool own = (placing.rank >> 32 & 1) != 0;
      if (next != kNone &&
          (e.newTick > events[next].newTick || (e.newTick == events[next].newTick && own)))
        endAt(e, placing, events, next);
      // An end stays behind the end of its key before it, as a reader pairs
      // them in that order: a doubled Note Off ahead of it would close that
      // end's note, and of two notes of the key sounding together, one cut
      // or joined and the other keeping its length, the later end ahead
      // would close the earlier note. Only such notes can come to swap.
      int32_t& before = keys[keyOf(e)].lastEnd;
      const Placing here = {e.newTick, placing.rank};
      if (before != kNone &&
          (e.paired ? here < order[before] : e.newTick <= events[before].newTick)) {
        e.newTick = events[before].newTick;
        placing.rank = (order[before].rank & ~uint64_t{0xFFFFFFFF}) | i;
      }
      before = static_cast<int32_t>(i);
    }
    placing.newTick = e.newTick;
  }
  putKeysBack(events, keys);
}

// Puts a track's placings in order. A move is small beside the distance
// between most events, so they come nearly in order, and an insertion sort
// takes each a step or two back at most; a track whose events crowd closer
// than its moves sorts in full instead, once the steps outgrow a few a
// placing. Each placing has a place of its own: any sort gives one order.
void sortPlacings(PoolVector<Placing>& placings) {
  size_t steps = 4 * placings.size();
  for (size_t i = 1; i < placings.size(); ++i) {
    const Placing placing = placings[i];
    size_t j = i;
    for (; j > 0 && placing < placings[j - 1]; --j) {
      if (steps-- == 0) {
        placings[j] = placing;
        std::sort(placings.begin(), placings.end());
        return;
      }
      placings[j] = placings[j - 1];
    }
    placings[j] = placing;
  }
}

void placeTrack(TrackWork& work, const PoolVector<Onset>& onsets, const TempoMap& tempo,
                std::vector<KeyState>& keys, MusicalTrackSummary& summary,
                PoolVector<Placing>& placings) {
  TrackEvents& events = work.events;
  bool moved = false;
  MusicalTrackSummary counted = summary;  // counted here, apart from the events written
  for (TimedEvent& e : events) {
    if (e.role != EventRole::kStart) continue;
    e.cents = static_cast<int16_t>(onsets[e.link].cents);
    if (!work.pressed) continue;
    ++counted.notes;
    const int64_t move = onsets[e.link].move;
    e.newTick = e.tick + move;
    if (move != 0) countMove(counted, tempo, e.tick, move);
    moved |= move != 0;
  }
  summary = counted;
  work.order.resize(events.size());
  if (!moved) {
    // A track none of whose notes move keeps its events as written.
    std::iota(work.order.begin(), work.order.end(), 0);
    return;
  }
  // The head sorts first: nothing moves before its tick, and an end is cut
  // or joined only in front of a start on a later tick than its note's.
  placeEnds(events, keys, placings);
  sortPlacings(placings);
  for (size_t i = 0; i < events.size(); ++i) work.order[i] = placings[i].index();
}

}  // namespace

void readTrack(TrackWork& work, TrackSlot& slot, std::vector<KeyState>& keys) {
  // One walk forward, each tick's events closed as the next tick begins,
  // while they are still at hand; then one back.
  TrackEvents& events = work.events;
  int64_t tick = 0;
  work.floorTick = slot.head.deltaTime;
  uint8_t running = 0;
  BendRangeReader ranges;
  size_t first = 0;  // of the tick at hand
  MidiEvent* e = &slot.head;
  for (size_t i = 0; i < events.size(); ++i, e = e->next) {
    tick += e->deltaTime;
    if (i > 0 && tick != events[first].tick) closeTick(work, first, i), first = i;
    events[i] = readEvent(work, *e, tick, running, ranges);
    pairEnd(events, i, keys);
  }
  closeTick(work, first, events.size());
  work.lastTick = tick;
  boundEnds(events, keys);
}

void placeTracks(std::vector<TrackWork>& tracks, const PoolVector<Onset>& onsets,
                 const TempoMap& tempo, std::vector<MusicalTrackSummary>& summaries) {
  inParts(
      tracks.size(), [&](size_t t) { return tracks[t].events.size(); },
      [&](size_t first, size_t last) {
        std::vector<KeyState> keys(kKeyCount);
        PoolVector<Placing> placings;  // one track's at a time
        for (size_t t = first; t < last; ++t)
          placeTrack(tracks[t], onsets, tempo, keys, summaries[t], placings);
      });
}
