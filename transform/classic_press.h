// The classic style: one press of Transform over every track of a song, in
// place, by each slot's own amounts.
//
// Per track, in track order: a time-shift walk when timeShift is not 0 (logs
// "Track %d Time shift transformed"), then pitch bends when pitchShift is not
// 0 (logs "Track %d Pitch shift transformed"), track numbers counted from 1;
// then, over every track, a velocity shift where velocityShift is not 0. The
// amounts are left as they are, so presses accumulate, each on the last
// one's result. A track without amounts draws nothing: the tracks the window
// does not show (past the 16th) keep amounts of 0 there and are untouched.
#pragma once

#include <cstdint>
#include <vector>

#include "transform/musical_random.h"
#include "transform/press_summary.h"
#include "transform/random_source.h"

struct Song;
struct TrackSlot;

// The largest amounts a track takes: a time shift moves an event by up to
// 200 ticks; a pitch shift of up to 64 steps keeps every bend's data bytes
// below 0x80, as a file must hold them. The window's sliders and the tool's
// options both stop here.
constexpr int kMaxTimeShift = 200;
constexpr int kMaxPitchShift = 64;

// The draws of a run of presses: time and pitch from one generator that
// presses in a row continue, velocities from a stream per track, so that a
// velocity shift moves no time or pitch draw.
struct ClassicRandom {
  RandomSource draws;
  std::vector<MusicalRandom> velocity;
};

// The draws of a run seeded with `seed`: the same song, amounts and seed
// always give the same result.
ClassicRandom classicRandom(const Song& song, uint32_t seed);

// One track's time and pitch part of a press, with its log lines naming
// track `number`. Events it adds come from `song`'s pool.
PressSummary pressTrack(Song& song, TrackSlot& slot, int32_t number, RandomSource& random);

// One press; the result has one entry per track (allTrackCount), zeros for
// the tracks without amounts.
std::vector<PressSummary> classicPress(Song& song, ClassicRandom& random);
