// The time step of the musical press: each track's events as read, and
// where each goes once the moves are drawn.
//
// readTrack reads the first `work.events.size()` events of `slot` (the head
// first, 1 at least) into `work.events`, a stretch the caller gives it, with
// their roles, running status resolved: a start, an end (paired with the
// note it closes), a follower (a channel message in front of a start of its
// channel on its tick, which goes with that start) or a fixed event. It
// changes, links and allocates no event; `keys` is all kNone between calls
// (one for each thread that reads tracks).
// placeTracks then gives every event of a pressed track its new tick from
// the moves of the onsets (musical_onsets.h), counts the notes and moves in
// `summaries`, and puts the events of every track in order (`order`): their
// new order where any of the track's notes move, as read otherwise. An
// end moves with its note (its length kept), but ends where a later start of
// its track and channel now stands when it was written on that start's tick
// (a legato join), and no later than the next start of its key; every end
// stays behind the end of its key before it, which a reader pairs first
// (the later of two notes sounding together may end later for it, as may a
// doubled Note Off). Tracks are read and placed on every core, each on its
// own. TrackChain then links events behind the head in that order, each
// delta time from its new tick.
#pragma once

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <vector>

#include "song/midi.h"
#include "song/pool_vector.h"
#include "song/song.h"
#include "transform/bend_range.h"
#include "transform/musical_amounts.h"
#include "transform/musical_press.h"
#include "transform/tempo_map.h"

struct Onset;

enum class EventRole : uint8_t {
  kFixed,     // keeps its tick
  kStart,     // a note starts: moves with its onset
  kEnd,       // a note ends: moves with its note
  kFollower,  // a channel message in front of a start of its channel on its tick
};

// An index into a track's events that stands for none.
constexpr int32_t kNone = -1;

// An event as read. Which event it is follows from its place: the track's
// chain holds them in that order until the track is linked anew.
struct TimedEvent {
  int64_t tick;  // as read
  int64_t newTick;
  EventRole role;
  uint8_t status;  // running status resolved, 0 for no channel message
  uint8_t data1, data2;
  bool paired = false;   // an end that closes a sounding note
  bool instant = false;  // a note, or its end, that ends on its start's tick: never heard
  int16_t cents{};       // a start, once placed: its onset's pitch amount, for the pitch step
  // A start: its onset. A follower: the start it goes with. An end: its
  // note's start.
  int32_t link = kNone;
  // One field for what a start or an end points on to, so that a record
  // takes 32 bytes, not 40: a million of them are read in every step.
  // A start: while its notes are paired, the next sounding start of its key
  // (nextOpen); then the next start of its key on a later tick, which its
  // end may not pass. An end before any note of its key: that key's first
  // start. An end of a note written on a later start of its channel (a
  // legato join): that start (joinOf).
  int32_t following = kNone;
};

static_assert(sizeof(TimedEvent) <= 32, "a record per event: keep it small");

inline int32_t& nextOpen(TimedEvent& start) { return start.following; }
inline int32_t joinOf(const TimedEvent& end) { return end.link != kNone ? end.following : kNone; }

// How the notes of one key and channel pair up while a track is read. All
// kNone between tracks: each track puts back the keys its events name (any
// event: a key it never played is none already), at the cost of its events.
struct KeyState {
  int32_t firstOpen = kNone;  // the earliest sounding note, whose end comes next
  int32_t lastOpen = kNone;   // the latest sounding note
  int32_t lastStart = kNone;  // the latest note, sounding or not
  int32_t nextStart = kNone;  // walking back: the start after the one at hand
  int32_t lastEnd = kNone;    // placing: the key's last end so far
};

constexpr int kKeyCount = kChannelCount * kKeysPerChannel;

// One track's events as read: a stretch of one list that holds every
// track's, as a list of its own for each track would take whole huge pages.
struct TrackEvents {
  TimedEvent* first = nullptr;
  size_t count = 0;

  size_t size() const { return count; }
  TimedEvent& operator[](size_t i) {
    assert(i < count);  // the stretch ends where the next track's begins
    return first[i];
  }
  const TimedEvent& operator[](size_t i) const {
    assert(i < count);
    return first[i];
  }
  TimedEvent* begin() { return first; }
  TimedEvent* end() { return first + count; }
  const TimedEvent* begin() const { return first; }
  const TimedEvent* end() const { return first + count; }
};

// One track through the press.
struct TrackWork {
  TrackEvents events;          // as read
  PoolVector<uint32_t> order;  // where each of them goes: the events in their new order
  TrackAmounts amounts;
  uint32_t heardChannels = 0;       // a bit for each channel of its starts and pitch bends
  bool pressed = false;             // relinked: it has a time or pitch amount
  int64_t floorTick = 0;            // no start of the track moves below it
  int64_t lastTick = 0;             // of the last event read
  MidiEvent* endOfTrack = nullptr;  // kept out of events, linked last
  std::vector<TempoChange> tempos;  // its tempo changes, as read
  BendRanges bendRanges;            // and its bend range changes
  // Counted as it is read, for the steps that gather every track's: its
  // starts, barriers and points on each channel (see markKind).
  std::array<size_t, kChannelCount> startsOn{}, barriersOn{}, pointsOn{};

  size_t placedCount() const { return order.size(); }
  const TimedEvent& placed(size_t i) const { return events[order[i]]; }  // in the new order
};

// What an event is to the step that keeps notes off what changes their
// sound (musical_onsets.h): a pitch bend, program change or sustain-pedal
// change is a barrier; the end of a note that keeps its length is a point,
// which moves with its note's gesture.
enum class MarkKind : uint8_t { kNone, kBarrier, kPoint };

inline MarkKind markKind(const TrackWork& track, const TimedEvent& e) {
  constexpr uint8_t kProgramChange = 0xC0, kSustainPedal = 64;
  const uint8_t kind = messageKind(e.status);
  if (e.role != EventRole::kStart && e.role != EventRole::kEnd && isChannelStatus(e.status) &&
      (kind == kPitchBend || kind == kProgramChange ||
       (kind == kControlChange && e.data1 == kSustainPedal)))
    return MarkKind::kBarrier;
  if (e.role == EventRole::kEnd && e.link != kNone &&
      (joinOf(e) == kNone || track.amounts.time == 0))
    return MarkKind::kPoint;
  return MarkKind::kNone;
}

void readTrack(TrackWork& work, TrackSlot& slot, std::vector<KeyState>& keys);
void placeTracks(std::vector<TrackWork>& tracks, const PoolVector<Onset>& onsets,
                 const TempoMap& tempo, std::vector<MusicalTrackSummary>& summaries);

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
