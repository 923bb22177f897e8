// One press of Transform on currentSong, in place.
//
// Treats tracks 1 to trackCount in order: a time-shift walk when the slot's
// timeShift is not 0 (logs "Track %d Time shift transformed"), then pitch
// bends when its pitchShift is not 0 (logs "Track %d Pitch shift
// transformed"); track numbers in the log count from 1. The tracks kept
// past the 16th are never touched. The amounts are left as they are, so
// presses accumulate. currentSong must not be null.
#pragma once

#include <cstdint>

#include "transform/random_source.h"

struct TrackSlot;

// The largest amounts a track takes: a time shift moves an event by up to
// 200 ticks; a pitch shift of up to 64 steps keeps every bend's data bytes
// below 0x80, as a file must hold them. The window's sliders and the tool's
// options both stop here.
constexpr int kMaxTimeShift = 200;
constexpr int kMaxPitchShift = 64;

// What one press did to one track.
struct TrackPressSummary {
  int32_t eventsMoved = 0;  // events after the head whose tick changed
  int64_t largestMove = 0;  // ticks, either way
  int32_t bendsAdded = 0;
};

// One track's part of a press: its time-shift walk when timeShift is not 0,
// then its bends when pitchShift is not 0, each with its log line naming
// track `number` (counted from 1).
TrackPressSummary pressTrack(TrackSlot& slot, int32_t number, RandomSource& random);

// One press drawing from `random` as it stands, without seeding it: presses
// in a row continue one sequence. When `summaries` is not null it receives
// one entry per track slot (kMaxTracks of them); slots not transformed get
// zeros.
void transformSong(RandomSource& random, TrackPressSummary* summaries = nullptr);

// One press, the process-wide source seeded with `seed` first: the same
// song, amounts and seed always give the same result.
void transformSong(uint32_t seed);

// One press, seeded from the calendar clock in whole seconds.
void transformSong();
