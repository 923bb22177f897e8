// The pitch step of the musical press: one bend per channel per onset, where
// no note of that channel is sounding.
//
// bendSong walks every track of the song at once, tick by tick in the
// events' new order (musical_time.h), or one track after another where no
// channel is heard in two of them, and adds bends to the pressed tracks:
// in front of the first note heard on a channel on a tick, one drawn from a
// stream of that onset alone (musical_random.h) within its cents around the
// file's own bend in force on the channel (in any track), against the
// channel's range in `ranges` at the note's tick as read; none on the drum
// channel, nor beside a note that starts its track. A channel is one
// player's pitch: where a note of it, in any track, sounds from an earlier
// tick on, the new note takes the pitch as it stands and counts as held.
// When the channel falls silent (and where the song ends, for notes that
// never end) it goes back to the file's bend; a bend that no return can
// follow (on the song's last tick, or beyond any delta time) takes the
// file's value instead, and its notes do not count as bent. Then it links each
// pressed track, End of Track last. Bends come from the song's pool
// (newEvent) and are counted in `summaries`.
#pragma once

#include <cstdint>
#include <vector>

#include "transform/musical_press.h"
#include "transform/musical_time.h"

struct BendRanges;
struct Song;

void bendSong(Song& song, std::vector<TrackWork>& tracks, const BendRanges& ranges, uint32_t seed,
              std::vector<MusicalTrackSummary>& summaries);
