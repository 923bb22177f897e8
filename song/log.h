// The one channel for progress and error reports.
//
// The core never decides where a line goes: the window, the command-line tool
// and the tests each link their own appendLog. A line is one NUL-terminated
// wide string without line breaks of its own.
#pragma once

void appendLog(const wchar_t* text);

// Formats `format` (one %d) with `value` into a 90-unit buffer with the
// bounded formatter, then appends it. Output longer than the buffer is cut.
void appendLogNumber(const wchar_t* format, int value);
