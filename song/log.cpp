#include "song/log.h"

void appendLogNumber(const wchar_t* format, int value) {
  wchar_t line[kLogLineUnits];
  formatLogLine(line, format, value);
  appendLog(line);
}
