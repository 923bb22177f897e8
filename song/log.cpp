#include "song/log.h"

#include <cwchar>

namespace {
constexpr int kLogLineUnits = 90;
}

void appendLogNumber(const wchar_t* format, int value) {
  wchar_t line[kLogLineUnits];
  // swprintf with a size never writes past the buffer; on overflow it fails
  // with a negative result and the content is unspecified, so start empty.
  line[0] = L'\0';
  if (std::swprintf(line, kLogLineUnits, format, value) < 0) line[kLogLineUnits - 1] = L'\0';
  appendLog(line);
}
