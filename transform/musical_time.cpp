#include "transform/musical_time.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <tuple>

#include "song/song.h"
#include "transform/tempo_map.h"

namespace {

// Every key of every channel: channel × 128 + key. A key byte of 0x80 or
// more counts by its low seven bits.
int keyOf(const MidiEvent& e) { return (channelOf(e.status) << 7) | (e.data1 & 0x7F); }

// One track's events as read, each with its role. Returns the tick below
// which no start may move: the head's, or that of a data byte with no
// channel status before it (only a damaged track has one), which is kept as
// read: were a channel message to pass it, the byte would be read under
// that message's status.
int64_t readEvents(std::vector<TimedEvent>& events, TrackSlot& slot, size_t count) {
  events.clear();
  events.reserve(count);
  int64_t tick = 0, floorTick = slot.head.deltaTime;
  uint8_t running = 0;
  MidiEvent* e = &slot.head;
  for (uint32_t index = 0; index < count; ++index, e = e->next) {
    tick += e->deltaTime;
    const ChannelMessage message = readChannelMessage(*e, running);
    // Running status is written out: each channel message has its status.
    assert(!message.isChannel || e->status == message.status);
    EventRole role = EventRole::kFixed;
    if (isNoteStart(message)) {
      role = EventRole::kStart;
    } else if (isNoteEnd(message)) {
      role = EventRole::kEnd;
    } else if (message.isChannel) {
      role = EventRole::kFollower;  // if a start on its tick comes after it
    } else if (e->status < kSystemExclusive) {
      floorTick = tick;  // neither a channel message nor a status byte of its own
    }
    events.push_back({e, tick, tick, index, index, true, role, false, false, kNone, kNone, kNone});
  }
  return floorTick;
}

// Groups the starts by tick and finds the channel messages that go with
// them: those on the tick in front of its last start. The track is in tick
// order, so one tick's events lie together.
void findStartTicks(TimeWork& work, MusicalTrackSummary& summary) {
  std::vector<TimedEvent>& events = work.events;
  work.startTicks.clear();
  for (size_t first = 0, end = 0; first < events.size(); first = end) {
    bool hasStart = false;
    for (end = first; end < events.size() && events[end].tick == events[first].tick; ++end) {
      hasStart |= events[end].role == EventRole::kStart;
    }
    if (hasStart) work.startTicks.push_back(events[first].tick);
    const int32_t number = static_cast<int32_t>(work.startTicks.size()) - 1;
    bool startAhead = false;
    for (size_t i = end; i-- > first;) {
      TimedEvent& e = events[i];
      if (e.role == EventRole::kStart) {
        e.link = number;
        startAhead = true;
        ++summary.notes;
      } else if (e.role == EventRole::kFollower && startAhead) {
        e.link = number;
      } else if (e.role == EventRole::kFollower) {
        e.role = EventRole::kFixed;
      }
    }
  }
  work.moves.assign(work.startTicks.size(), 0);
}

// Matches each end to the note it closes: the earliest sounding note of its
// key and channel, as a player's sequencer reads it. An end with no sounding
// note (a doubled Note Off) goes with the key's last note.
void pairEnds(TimeWork& work) {
  std::vector<TimedEvent>& events = work.events;
  for (size_t i = 0; i < events.size(); ++i) {
    TimedEvent& e = events[i];
    const int32_t at = static_cast<int32_t>(i);
    if (e.role == EventRole::kStart) {
      KeyState& key = work.keys[keyOf(*e.event)];
      key.lastStart = at;
      (key.lastOpen != kNone ? events[key.lastOpen].nextOpen : key.firstOpen) = at;
      key.lastOpen = at;
    } else if (e.role == EventRole::kEnd) {
      KeyState& key = work.keys[keyOf(*e.event)];
      if (key.firstOpen != kNone) {
        e.link = key.firstOpen;
        e.paired = true;
        key.firstOpen = events[e.link].nextOpen;
        if (key.firstOpen == kNone) key.lastOpen = kNone;
      } else {
        e.link = key.lastStart;
      }
    }
  }
  // A note ends no later than the next start of its key on a later tick;
  // notes of one key that start together share that bound, so that their
  // ends stay in the order they had. An end before any note of its key is
  // followed by the key's first start.
  for (size_t i = events.size(); i-- > 0;) {
    TimedEvent& e = events[i];
    if (e.role == EventRole::kStart) {
      KeyState& key = work.keys[keyOf(*e.event)];
      const int32_t after = key.nextStart;
      e.following = after == kNone || events[after].tick > e.tick ? after : events[after].following;
      key.nextStart = static_cast<int32_t>(i);
    } else if (e.role == EventRole::kEnd && e.link == kNone) {
      e.following = work.keys[keyOf(*e.event)].nextStart;
    }
  }
  for (const TimedEvent& e : events) {
    if (e.role == EventRole::kStart || e.role == EventRole::kEnd) work.keys[keyOf(*e.event)] = {};
  }
}

// One bell-shaped draw per start tick, in ticks or through the tempo map,
// rounded towards the written time (so a whole tick is never further than
// the draw, and the bell keeps its shape at small amounts), then held to
// less than half the gap to each neighbouring start tick (the same limit
// both ways: no bias) and to the floor, which stays first.
void drawMoves(TimeWork& work, int64_t floorTick, const TrackAmounts& amounts,
               const TempoMap& tempo, MusicalRandom& random) {
  const std::vector<int64_t>& ticks = work.startTicks;
  for (size_t g = 0; g < ticks.size(); ++g) {
    const int64_t tick = ticks[g];
    int64_t limit = std::min(kMaxMoveTicks, tick - floorTick);
    if (g > 0) limit = std::min(limit, (tick - ticks[g - 1] - 1) / 2);
    if (g + 1 < ticks.size()) limit = std::min(limit, (ticks[g + 1] - tick - 1) / 2);
    const double draw = amounts.time * bellDraw(random);
    int64_t move = 0;
    if (amounts.timeInMs) {
      const double target = microsAtTick(tempo, static_cast<double>(tick)) + draw * 1000.0;
      const double moved = tickAtMicros(tempo, target) - static_cast<double>(tick);
      move = static_cast<int64_t>(std::trunc(std::clamp(moved, -1e15, 1e15)));
    } else {
      move = static_cast<int64_t>(std::trunc(draw));
    }
    work.moves[g] = std::clamp(move, -limit, limit);
    assert(amounts.timeInMs || std::abs(work.moves[g]) <= amounts.time);
  }
}

void countMove(MusicalTrackSummary& summary, const TempoMap& tempo, int64_t tick, int64_t move) {
  ++summary.notesMoved;
  summary.largestMoveTicks = std::max(summary.largestMoveTicks, std::abs(move));
  const double from = microsAtTick(tempo, static_cast<double>(tick));
  const double to = microsAtTick(tempo, static_cast<double>(tick + move));
  summary.largestMoveMs = std::max(summary.largestMoveMs, std::fabs(to - from) / 1000.0);
}

// Gives each start and follower its tick's move and each end its note's,
// then puts the events in their new order.
void placeEvents(TimeWork& work, bool moved, const TempoMap& tempo, MusicalTrackSummary& summary) {
  std::vector<TimedEvent>& events = work.events;
  for (TimedEvent& e : events) {
    if (e.role != EventRole::kStart && e.role != EventRole::kFollower) continue;
    const int64_t move = work.moves[e.link];
    e.newTick = e.tick + move;
    if (e.role == EventRole::kStart && move != 0) countMove(summary, tempo, e.tick, move);
  }
  // The head keeps its place whatever it is.
  for (size_t i = 1; i < events.size(); ++i) {
    TimedEvent& e = events[i];
    if (e.role != EventRole::kEnd) continue;
    const TimedEvent* note = e.link != kNone ? &events[e.link] : nullptr;
    if (note != nullptr) {
      e.newTick += note->newTick - note->tick;
      if (e.paired && e.newTick == note->newTick) e.instant = events[e.link].instant = true;
    }
    if (!moved) continue;
    const int32_t next = note != nullptr ? note->following : e.following;
    if (next == kNone) continue;
    const TimedEvent& following = events[next];
    // Ending on the next start of the key, the end goes just in front of
    // it, so that any reader pairs the two notes as they were written.
    if (e.newTick >= following.newTick) {
      e.newTick = following.newTick;
      e.place = following.index;
      e.atPlace = false;
    }
  }
  // The head sorts first: nothing moves before its tick, and an end is cut
  // only in front of a start on a later tick than its note's.
  if (!moved) return;
  std::sort(events.begin(), events.end(), [](const TimedEvent& a, const TimedEvent& b) {
    return std::tie(a.newTick, a.place, a.atPlace, a.index) <
           std::tie(b.newTick, b.place, b.atPlace, b.index);
  });
}

}  // namespace

int64_t layOutTrack(TimeWork& work, TrackSlot& slot, size_t count, const TrackAmounts& amounts,
                    const TempoMap& tempo, MusicalRandom& random, MusicalTrackSummary& summary) {
  const int64_t floorTick = readEvents(work.events, slot, count);
  const int64_t lastTick = work.events.back().tick;
  findStartTicks(work, summary);
  pairEnds(work);
  const bool moved = amounts.time != 0;
  if (moved) drawMoves(work, floorTick, amounts, tempo, random);
  placeEvents(work, moved, tempo, summary);
  return lastTick;
}
