// The appendLog of the command-line tool and the tests: keeps the log as one
// wide string, lines joined by CR LF with no separator before the first and
// none after the last, exactly like the window's log. When echo is on, each
// line is also printed to standard output in UTF-8 as it arrives.
#pragma once

#include <string>

struct TextLog {
  std::wstring text;
  bool echo = false;
};

extern TextLog textLog;

// Clears the kept text (the echo setting stays).
void clearTextLog();

// Converts a wide string to UTF-8; code points that are not valid become U+FFFD.
std::string toUtf8(const std::wstring& text);
