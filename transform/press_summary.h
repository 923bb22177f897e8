// What one press did to one track, in either style, and the line that says
// so in the log:
//   classic: "Track 2: time shift moved 143 events, at most 17 ticks;
//             pitch shift added 96 bends; velocity shift changed 80 notes"
//   musical: "Track 2: time shift moved 143 of 150 notes, at most 17 ticks
//             (12.4 ms); ..."
// Only the parts whose amount is set appear; a track without amounts has no
// line. Counts of one are singular ("1 bend").
#pragma once

#include <cstdint>
#include <string>

struct PressSummary {
  int32_t moved = 0;  // classic: events whose tick changed; musical: notes whose start moved
  int32_t notes = 0;  // musical: notes that start in the track
  int64_t largestMoveTicks = 0;  // either way
  double largestMoveMs = 0;      // musical: the same move through the tempo map
  int32_t bendsAdded = 0;
  int32_t velocitiesChanged = 0;
};

// The amounts a track was pressed with, as far as the line needs them.
struct SummaryAmounts {
  bool musical = false;
  bool time = false;
  bool pitch = false;
  bool velocity = false;
};

// The line for track `number` (counted from 1), or an empty string when no
// amount is set.
std::wstring pressSummaryLine(int32_t number, const SummaryAmounts& amounts,
                              const PressSummary& summary);
