#include "ui/amount_label.h"

#include <cwchar>

AmountLabel amountLabelText(int32_t value, const wchar_t* unit) {
  AmountLabel label;
  if (value == 0) {
    std::wcscpy(label.text, L"Off");
    return label;
  }
  // The bounded formatter never writes past the buffer. A value too long for
  // it fails with a negative result (C library) or is cut short (mingw's own
  // formatter reports the full length): either way show nothing rather than
  // a wrong number.
  const int written =
      std::swprintf(label.text, kAmountLabelUnits, L"%d%ls", static_cast<int>(value), unit);
  if (written < 0 || written >= kAmountLabelUnits) label.text[0] = L'\0';
  return label;
}
