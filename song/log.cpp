#include "song/log.h"

#include <cwchar>

void formatLogLine(wchar_t* line, const wchar_t* format, int a, int b) {
  // swprintf with a size never writes past the buffer; when the text does not
  // fit it fails with a negative result (some C libraries cut it short
  // instead), and what it left behind need not be terminated.
  line[0] = L'\0';
  if (std::swprintf(line, kLogLineUnits, format, a, b) < 0) line[kLogLineUnits - 1] = L'\0';
}

void appendLogNumber(const wchar_t* format, int value) {
  wchar_t line[kLogLineUnits];
  formatLogLine(line, format, value);
  appendLog(line);
}
