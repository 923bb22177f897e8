// The time step of the musical press: where each event of one track goes.
//
// layOutTrack reads the first `count` events of `slot` (the head first, 1 at
// least), each channel message with its own status byte, and puts them in
// `work.events` in their new order with their new ticks, the head first and
// on its tick; it returns the tick of the last event read.
// With a time amount the starts move as musical_press.h promises, one draw
// from `random` per start tick; without one every event keeps its tick and
// its place. It counts notes and moves in `summary`, and changes, links and
// allocates no event. TrackChain then links events behind the head in that
// order, each delta time from its new tick.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <vector>

#include "song/midi.h"
#include "song/song.h"
#include "transform/musical_amounts.h"
#include "transform/musical_press.h"
#include "transform/musical_random.h"

struct TempoMap;

enum class EventRole : uint8_t {
  kFixed,     // keeps its tick
  kStart,     // a note starts: moves with its start tick
  kEnd,       // a note ends: moves with its note
  kFollower,  // a channel message in front of a start on its tick
};

// An index into a track's events that stands for none.
constexpr int32_t kNone = -1;

struct TimedEvent {
  MidiEvent* event;
  int64_t tick;  // as read
  int64_t newTick;
  uint32_t index;  // place in the track as read, the head 0
  // Sorted by (newTick, place, atPlace, index): an end cut short at the next
  // start of its key takes that start's place, just in front of it.
  uint32_t place;
  bool atPlace;  // false for an end cut short
  EventRole role;
  bool paired;   // an end that closes a sounding note
  bool instant;  // a note, or its end, that ends on its start's tick: never heard
  int32_t link;  // start, follower: its start tick's number; end: its note's start
  // A start: the next start of its key on a later tick, which its end may
  // not pass. An end before any note of its key: that key's first start.
  int32_t following;
  int32_t nextOpen;  // a sounding start: the next sounding start of its key
};

// How the notes of one key and channel pair up while a track is read. All
// kNone between tracks: each track puts back only the keys it played.
struct KeyState {
  int32_t firstOpen = kNone;  // the earliest sounding note, whose end comes next
  int32_t lastOpen = kNone;   // the latest sounding note
  int32_t lastStart = kNone;  // the latest note, sounding or not
  int32_t nextStart = kNone;  // walking back: the start after the one at hand
};

constexpr int kKeyCount = kChannelCount * kKeysPerChannel;

// What the time step works in, made once per press and kept from track to
// track: its memory is then touched once per press, not once per track
// (fresh pages are most of what a long list costs).
struct TimeWork {
  std::vector<TimedEvent> events;
  std::vector<int64_t> startTicks;  // each tick that has a start, in order
  std::vector<int64_t> moves;       // by start tick
  std::vector<KeyState> keys = std::vector<KeyState>(kKeyCount);
};

int64_t layOutTrack(TimeWork& work, TrackSlot& slot, size_t count, const TrackAmounts& amounts,
                    const TempoMap& tempo, MusicalRandom& random, MusicalTrackSummary& summary);

// A move this large only comes from a tempo of a few microseconds per
// quarter note; beyond it a delta time could outgrow what a file holds.
constexpr int64_t kMaxMoveTicks = 1 << 16;

// Links events one after another behind a track's head, which stays where
// it is: each event's delta time is the distance from the tick of the event
// before, held to what a file can hold. Ticks never go back.
struct TrackChain {
  TrackChain(MidiEvent& head, int64_t headTick) : last(&head), lastTick(headTick) {}
  void append(MidiEvent* event, int64_t tick) {
    assert(tick >= lastTick);
    const int64_t delta = tick - lastTick;
    event->deltaTime = static_cast<uint32_t>(std::min<int64_t>(delta, kMaxDeltaTime));
    last->next = event;
    last = event;
    lastTick = tick;
  }
  void close() { last->next = nullptr; }  // the last event appended ends the track

  MidiEvent* last;
  int64_t lastTick;
};
