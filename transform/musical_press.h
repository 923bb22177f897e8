// The musical style: one humanising press that keeps what a player keeps,
// the player being the channel, not the track.
//
// musicalPress works on `song` as loaded, each track t (of allTrackCount) by
// amounts[t] (a missing entry is off), and draws from streams picked by
// `seed` and the onset, channel or track (see musical_random.h): the same
// song, amounts and seed give the same bytes.
// - time: the notes of one channel that start on one tick move together,
//   in every track, and the onsets of a channel less than 30 ms apart move
//   as one gesture, each by a bell-shaped move of at most the amount (ticks,
//   or ms through the tempo map) scaled to its room (musical_onsets.h).
//   Channel messages in front of a start of their channel on its tick move
//   with it; a note's end moves with its start (its length kept, but joined
//   to the start it was written on, and cut at the next start of its key);
//   every other event keeps its tick; End of Track stays last.
// - pitch: one 14-bit bend per channel and onset where the channel is free,
//   going back to the file's bend when it falls silent (musical_pitch.h).
// - velocity: as applyVelocityShift.
// Running status is written out in full on tracks with a time or pitch
// amount. New events come from the song's pool (newEvent). Events are never
// dropped.
#pragma once

#include <cstdint>
#include <vector>

#include "transform/musical_amounts.h"

struct Song;

struct MusicalTrackSummary {
  int32_t notes = 0;       // notes that start in the track
  int32_t notesMoved = 0;  // of them, those whose start moved
  int64_t largestMoveTicks = 0;
  double largestMoveMs = 0;  // the same moves measured through the tempo map
  int32_t bendsAdded = 0;
  int32_t notesBent = 0;  // notes that start on a bend of ours
  int32_t notesHeld = 0;  // notes left unbent because their channel was held
  int32_t velocitiesChanged = 0;
};

void musicalPress(Song& song, const std::vector<TrackAmounts>& amounts, uint32_t seed,
                  std::vector<MusicalTrackSummary>* summaries = nullptr);
