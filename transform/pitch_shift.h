// Pitch shift of one track: a random Pitch Bend before every Note On.
//
// expandRunningStatus gives every event after the head its own status byte
// (the last channel status before it); it draws nothing and allocates
// nothing. insertPitchBends then links a Pitch Bend (low byte 0, high byte
// from 64 − A to 63 + A, A = slot.pitchShift, 1..64) on the note's channel
// directly before every Note On after the head, at the note's tick: the
// bend takes the note's delta time and the note gets 0. It draws once per
// Note On from `random` and allocates one event per bend; a draw of 0 (only
// possible at A = 64) inserts nothing, and returns how many bends it
// inserted. applyPitchShift runs both in turn and returns that count.
#pragma once

#include <cstdint>

#include "transform/random_source.h"

struct Song;
struct TrackSlot;

// `slot` is one of `song`'s, whose pool owns the bends.
void expandRunningStatus(TrackSlot& slot);
int32_t insertPitchBends(Song& song, TrackSlot& slot, RandomSource& random);
int32_t applyPitchShift(Song& song, TrackSlot& slot, RandomSource& random);
