// The pitch step of the musical press: one bend per channel per start tick.
//
// bendTrack links `events` (the time step's, in their new order, the head
// first and already in place) through `chain`, and adds bends between them:
// in front of the first note heard on each channel on each tick, one drawn
// from `random` within `cents` around the file's own bend in force, against
// the channel's range in `ranges` at the note's tick as read (none on the
// drum channel, nor beside a note that starts the track). When the last
// note sounding on a channel ends, and once the events are linked, the
// channel goes back to the file's bend. Bends come from the song's pool
// (newEvent) and are counted in summary.bendsAdded.
#pragma once

#include <cstdint>
#include <vector>

#include "transform/musical_press.h"
#include "transform/musical_random.h"
#include "transform/musical_time.h"

struct BendRanges;
struct Song;

void bendTrack(Song& song, const std::vector<TimedEvent>& events, int32_t cents,
               const BendRanges& ranges, MusicalRandom& random, TrackChain& chain,
               MusicalTrackSummary& summary);
