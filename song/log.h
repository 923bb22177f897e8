// The one channel for progress and error reports.
//
// The core never decides where a line goes: the window, the command-line tool
// and the tests each link their own appendLog. A line is one NUL-terminated
// wide string without line breaks of its own.
#pragma once

void appendLog(const wchar_t* text);

// Log lines with numbers are formatted into buffers of this many units.
constexpr int kLogLineUnits = 90;

// Formats `format` (up to two %d; unused arguments are ignored) into `line`,
// a buffer of kLogLineUnits, with the bounded formatter. Output longer than
// the buffer is cut short, never written past it.
void formatLogLine(wchar_t* line, const wchar_t* format, int a, int b = 0);

// formatLogLine with one number, then appendLog.
void appendLogNumber(const wchar_t* format, int value);
