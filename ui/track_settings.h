// The amounts the window keeps for each track it shows, in both press
// styles, and what a slider makes of them: its range and its label. Pure
// arithmetic, shared by the window and its unit tests.
//
// Time and pitch have an amount per style, each in its style's unit
// (classic: ticks and bend steps; musical: milliseconds and cents), so that
// switching styles loses nothing the user set; velocity steps mean the same
// in both styles, so a track has one velocity amount. Every amount starts
// at 0, which is off.
#pragma once

#include <array>
#include <cstdint>

#include "song/song.h"
#include "ui/amount_label.h"

enum class PressStyle : uint8_t { kClassic, kMusical };

// The main dialog's sliders, top to bottom.
enum class Slider : uint8_t { kTime, kPitch, kVelocity };

struct TrackSettings {
  int32_t time[2] = {};   // by style: ticks, milliseconds
  int32_t pitch[2] = {};  // by style: bend steps, cents
  int32_t velocity = 0;

  int32_t& amount(PressStyle style, Slider slider);
  int32_t amount(PressStyle style, Slider slider) const;
};

// One per track slot: tracks past the 16th are not shown and stay off.
using SongSettings = std::array<TrackSettings, kMaxTracks>;

// The slider's range is 0 to this.
int32_t sliderMaximum(PressStyle style, Slider slider);

// The value label: "Off", the number, with " ms" or " c" in the musical
// style's time and pitch.
AmountLabel sliderLabelText(PressStyle style, Slider slider, int32_t value);
