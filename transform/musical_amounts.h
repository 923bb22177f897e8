// What a press does to one track, and the limits of the musical amounts.
//
// A time amount is ticks, or milliseconds when timeInMs (musical only,
// through the file's tempo map at each note); a pitch amount is bend steps
// (classic) or cents against the channel's bend range (musical); a velocity
// amount is velocity steps in either style. 0 is off for each. The velocity
// limit is shared with the classic style.
#pragma once

#include <cstdint>

constexpr int32_t kMaxMusicalTimeTicks = 200;
constexpr int32_t kMaxMusicalTimeMs = 200;
constexpr int32_t kMaxPitchCents = 100;
constexpr int32_t kMaxVelocityShift = 64;

struct TrackAmounts {
  int32_t time = 0;
  bool timeInMs = false;
  int32_t pitch = 0;
  int32_t velocity = 0;
};
