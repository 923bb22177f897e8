// Velocity shift of one track, in either style.
//
// Every Note On with a velocity from 1 to 127 (running status included)
// gets a bell-shaped move of at most `amount` (1..64) either way, kept
// within 1..127; Note Ons with velocity 0 and odd velocity bytes are left
// as they are. It changes the velocity byte only, draws once per such note
// from `random` (a stream of its own, so the time and pitch draws stay as
// they were) and returns how many velocities changed.
#pragma once

#include <cstdint>

#include "transform/musical_random.h"

struct TrackSlot;

int32_t applyVelocityShift(TrackSlot& slot, int32_t amount, MusicalRandom& random);
