// Where the onsets of a song go in the musical press.
//
// An onset is one channel's notes that start on one tick, in whichever
// tracks: they move together, by the smallest time amount among those
// tracks. Onsets of a channel that start within kGestureMicros of the one
// before form a gesture (a strum, a flam, a grace note, a roll), which moves
// as one, by one draw: half of it shared by every channel whose gesture
// starts on that tick (or up to kGestureMicros after another channel's,
// which lends its part), half the channel's own (musical_random.h), so that
// notes written together on two channels end up at most the amount apart.
// No draw depends on an earlier one beyond that. The draw then scales with
// the gesture's room: about a quarter of the gap to the gestures of its
// channel on either side (each gap keeps half to one and a half times its
// length), and less than the distance from any of its starts, or of the
// ends that keep their length, to a pitch bend, program change or
// sustain-pedal change of its channel on another tick (half of it where that
// message moves with another gesture), so that no note crosses what changes
// its sound.
//
// drawOnsets sets each start's link to its onset and returns the onsets
// with their moves in ticks (none where a track's time amount is 0).
#pragma once

#include <cstdint>
#include <vector>

#include "transform/musical_time.h"

struct TempoMap;

constexpr double kGestureMicros = 30000;

struct Onset {
  int64_t tick;     // as written
  int32_t move;     // in ticks, kMaxMoveTicks at most either way
  int32_t gesture;  // numbered over the song
  uint8_t channel;
  int32_t cents;      // the smallest pitch amount of the tracks that hold it
  int32_t timeTrack;  // the track whose time amount applies
  int32_t room;       // how far a track's floor lets it move
};

PoolVector<Onset> drawOnsets(std::vector<TrackWork>& tracks, const TempoMap& tempo, uint32_t seed);
