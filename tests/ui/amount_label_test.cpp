#include "ui/amount_label.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {
std::wstring label(int32_t value) { return amountLabelText(value).text; }
}  // namespace

TEST(AmountLabel, ZeroReadsOffAndEveryOtherAmountIsTheBareNumber) {
  EXPECT_EQ(label(0), L"Off");
  EXPECT_EQ(label(1), L"1");
  EXPECT_EQ(label(20), L"20");
  EXPECT_EQ(label(64), L"64");    // right end of Pitch shift
  EXPECT_EQ(label(200), L"200");  // right end of Time shift
  EXPECT_EQ(label(-7), L"-7");    // a signed decimal, whatever a slider reports
}

TEST(AmountLabel, ValuesTooLongForTheLabelNeverOverrunIt) {
  EXPECT_EQ(label(999999999), L"999999999");  // 9 characters and the terminator fill it exactly
  EXPECT_EQ(label(INT_MIN), L"");             // 11 characters do not fit: empty, not cut or overrun
}
