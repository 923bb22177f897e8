// What the musical style does to one track, and the limits of each amount.
//
// A time amount is ticks, or milliseconds when timeInMs (through the file's
// tempo map at each note); a pitch amount is cents against the channel's
// bend range; a velocity amount is velocity steps. 0 is off for each. The
// velocity limit is shared with the classic style, where a velocity shift
// may be added too.
#pragma once

#include <cstdint>

constexpr int32_t kMaxMusicalTimeTicks = 200;
constexpr int32_t kMaxMusicalTimeMs = 200;
constexpr int32_t kMaxPitchCents = 100;
constexpr int32_t kMaxVelocityShift = 64;

struct MusicalAmounts {
  int32_t time = 0;
  bool timeInMs = false;
  int32_t cents = 0;
  int32_t velocity = 0;
};
