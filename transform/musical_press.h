// The musical style: one humanising press that keeps what a player keeps.
//
// musicalPress works on `song` as loaded, track by track (index i over
// allTrackCount, by amounts[i]; a missing entry is off), and draws from
// streams picked by `seed` and the track (see musical_random.h): the same
// song, amounts and seed give the same bytes. Per track:
// - time: the notes that start on one tick (a chord) share one
//   bell-shaped move of at most the amount (ticks, or ms through the tempo
//   map), and less than half the distance to the neighbouring start tick on
//   either side, so starts keep their order and never merge. Controllers,
//   program changes and bends on that tick in front of the notes move with
//   them; a note's end moves with its start (its length kept, but cut at
//   the next start of the same key and channel); every other event keeps
//   its tick; End of Track stays last.
// - pitch: one 14-bit bend per channel per start tick, just before the
//   first note, drawn in cents around the file's own bend in force against
//   the channel's bend range; none on channel 10. When the track's last
//   sounding note on a channel ends, and at the track's end, the channel
//   goes back to the file's bend.
// - velocity: as applyVelocityShift.
// Running status is written out in full on tracks moved or bent. New
// events come from the song's pool (newEvent). Events are never dropped.
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

void musicalPress(Song& song, const std::vector<MusicalAmounts>& amounts, uint32_t seed,
                  std::vector<MusicalTrackSummary>* summaries = nullptr);
