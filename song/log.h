// The one channel for progress and error reports.
//
// The core never decides where a line goes: the window, the command-line tool
// and the tests each link their own appendLog. A line is one NUL-terminated
// wide string without line breaks of its own.
#pragma once

#include <cwchar>

void appendLog(const wchar_t* text);

// Log lines with numbers are formatted into buffers of this many units.
constexpr int kLogLineUnits = 90;

// Formats `format` with a %d for each number into `line`, a buffer of
// kLogLineUnits, with the bounded formatter. Output longer than the buffer is
// cut short, never written past it.
template <typename... Numbers>
void formatLogLine(wchar_t* line, const wchar_t* format, Numbers... numbers) {
  // swprintf with a size never writes past the buffer; when the text does not
  // fit it fails (some C libraries cut it short instead), and what it left
  // behind need not be terminated: the last unit always ends the line.
  std::swprintf(line, kLogLineUnits, format, numbers...);
  line[kLogLineUnits - 1] = L'\0';
}

// formatLogLine with one number, then appendLog.
void appendLogNumber(const wchar_t* format, int value);
