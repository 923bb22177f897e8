// The text of a slider's value label: "Off" for 0, otherwise the amount as a
// signed decimal and its unit, if any ("15", "15 ms"). Pure formatting, no
// window involved, so it is shared by the window and its unit tests.
#pragma once

#include <cstdint>

// 10 UTF-16 units with the terminator: room for every amount the sliders
// can take with its unit ("200 ms") and for any bare value of up to 9
// characters.
constexpr int kAmountLabelUnits = 10;

struct AmountLabel {
  wchar_t text[kAmountLabelUnits];
};

AmountLabel amountLabelText(int32_t value, const wchar_t* unit = L"");
