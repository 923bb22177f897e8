// The appendLog of the command-line tool and the tests: keeps the log as one
// wide string, lines joined by CR LF with no separator before the first and
// none after the last, exactly like the window's log. When `echo` is set,
// each line is also handed to it as it arrives (the tool prints it).
#pragma once

#include <string>

struct TextLog {
  std::wstring text;
  void (*echo)(const wchar_t* line) = nullptr;
};

extern TextLog textLog;

// Clears the kept text (the echo setting stays).
void clearTextLog();
