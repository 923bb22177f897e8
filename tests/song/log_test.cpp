#include <gtest/gtest.h>

#include <string>

#include "cli/text_log.h"
#include "song/log.h"

TEST(TextLog, JoinsLinesWithCrLfLikeTheWindowsLog) {
  clearTextLog();
  appendLog(L"");  // an empty line on an empty log leaves it empty
  EXPECT_EQ(textLog.text, L"");
  appendLog(L"Start");
  appendLogNumber(L"PPQN=%d", 96);
  EXPECT_EQ(textLog.text, L"Start\r\nPPQN=96");
  appendLog(L"");  // on a non-empty log it adds an empty last line
  EXPECT_EQ(textLog.text, L"Start\r\nPPQN=96\r\n");
  clearTextLog();
}

TEST(TextLog, NumbersAreSignedDecimals) {
  clearTextLog();
  appendLogNumber(L"Read %d bytes", -1);
  appendLogNumber(L"Loaded %d tracks", 2147483647);
  EXPECT_EQ(textLog.text, L"Read -1 bytes\r\nLoaded 2147483647 tracks");
  clearTextLog();
}

TEST(LogLine, TextLongerThanTheBufferIsCutNeverOverrun) {
  // Guard units on both sides catch a write outside the line buffer.
  wchar_t buffer[kLogLineUnits + 2];
  for (wchar_t& unit : buffer) unit = L'#';
  const std::wstring longFormat = std::wstring(120, L'x') + L" %d";
  formatLogLine(buffer + 1, longFormat.c_str(), 7);
  EXPECT_EQ(buffer[0], L'#');
  EXPECT_EQ(buffer[kLogLineUnits + 1], L'#');
  const std::wstring line(buffer + 1);
  EXPECT_LT(line.size(), static_cast<size_t>(kLogLineUnits));
  EXPECT_EQ(line.find_first_not_of(L'x'), std::wstring::npos);

  formatLogLine(buffer + 1, L"Track %d damaged at byte %d: ended there", 3, 1234);
  EXPECT_EQ(std::wstring(buffer + 1), L"Track 3 damaged at byte 1234: ended there");
}
