// The text of a slider's value label: "Off" for 0, otherwise the amount as a
// signed decimal. Pure formatting, no window involved, so it is shared by the
// window and its unit tests.
#pragma once

#include <cstdint>

// 10 UTF-16 units with the terminator: room for every amount the sliders
// can take (0..200, 0..64) and for any value of up to 9 characters.
constexpr int kAmountLabelUnits = 10;

struct AmountLabel {
  wchar_t text[kAmountLabelUnits];
};

AmountLabel amountLabelText(int32_t value);
