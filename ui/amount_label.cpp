#include "ui/amount_label.h"

#include <cwchar>

AmountLabel amountLabelText(int32_t value) {
  AmountLabel label;
  if (value == 0) {
    std::wcscpy(label.text, L"Off");
    return label;
  }
  // The bounded formatter never writes past the buffer; a value too long for
  // it fails and leaves an unspecified prefix, so fall back to an empty label.
  if (std::swprintf(label.text, kAmountLabelUnits, L"%d", static_cast<int>(value)) < 0) label.text[0] = L'\0';
  return label;
}
