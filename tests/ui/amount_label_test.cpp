#include "ui/amount_label.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

TEST(AmountLabel, ShowsOffForZeroAndTheBareNumberOtherwise) {
  struct Case {
    int32_t value;
    const wchar_t* want;
  };
  const Case cases[] = {
      {0, L"Off"},
      {1, L"1"},
      {64, L"64"},    // right end of Pitch shift
      {200, L"200"},  // right end of Time shift
      {-7, L"-7"},
      {999999999, L"999999999"},  // 9 characters and the terminator fill the label exactly
      {INT_MIN, L""},             // 11 characters do not fit: empty, neither cut nor overrun
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(std::wstring(amountLabelText(c.value).text), c.want);
  }
}
