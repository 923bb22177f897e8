// What one press did to one track, in either style, and the line that says
// so in the log:
//   classic: "Track 2: time shift moved 143 events, at most 17 ticks;
//             pitch shift added 96 bends; velocity shift changed 80 notes"
//   musical: "Track 2: time shift moved 143 of 150 notes, at most 17 ticks
//             (12.4 ms); pitch shift added 96 bends (120 notes bent, 30
//             left as their channel was held); ..."
// Only the parts whose amount is set appear; a track without amounts has no
// line. Counts of one are singular ("1 bend").
#pragma once

#include <cstdint>
#include <string>

// Plain fields without defaults: made value-initialised (`PressSummary{}`),
// every count starts at 0.
struct PressSummary {
  int32_t moved;             // classic: events whose tick changed; musical: notes whose start moved
  int32_t notes;             // musical: notes that start in the track
  int64_t largestMoveTicks;  // either way
  double largestMoveMs;      // musical: the same move through the tempo map
  int32_t bendsAdded;
  int32_t velocitiesChanged;
  int32_t notesBent;  // musical: notes that start on a bend of the press
  int32_t notesHeld;  // musical: notes left unbent as their channel was held
};

// The amounts a track was pressed with, as far as the line needs them.
struct SummaryAmounts {
  bool musical;
  bool time;
  bool pitch;
  bool velocity;
};

// "1 bend", "3 bends": a count and its noun, singular for one.
std::wstring counted(int64_t count, const wchar_t* one, const wchar_t* many);

// The line for track `number` (counted from 1), or an empty string when no
// amount is set.
std::wstring pressSummaryLine(int32_t number, const SummaryAmounts& amounts,
                              const PressSummary& summary);
