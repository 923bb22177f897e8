#include "ui/track_settings.h"

#include "transform/classic_press.h"
#include "transform/musical_amounts.h"

int32_t& TrackSettings::amount(PressStyle style, Slider slider) {
  const int byStyle = style == PressStyle::kMusical ? 1 : 0;
  if (slider == Slider::kVelocity) return velocity;
  return slider == Slider::kTime ? time[byStyle] : pitch[byStyle];
}

int32_t TrackSettings::amount(PressStyle style, Slider slider) const {
  return const_cast<TrackSettings&>(*this).amount(style, slider);
}

int32_t sliderMaximum(PressStyle style, Slider slider) {
  const bool musical = style == PressStyle::kMusical;
  switch (slider) {
    case Slider::kTime:
      return musical ? kMaxMusicalTimeMs : kMaxTimeShift;
    case Slider::kPitch:
      return musical ? kMaxPitchCents : kMaxPitchShift;
    default:
      return kMaxVelocityShift;
  }
}

AmountLabel sliderLabelText(PressStyle style, Slider slider, int32_t value) {
  if (style == PressStyle::kClassic || slider == Slider::kVelocity) return amountLabelText(value);
  return amountLabelText(value, slider == Slider::kTime ? L" ms" : L" c");
}
