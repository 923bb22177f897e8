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

// Converts a wide string to UTF-8; code points that are not valid become U+FFFD.
std::string toUtf8(const std::wstring& text);

// Decodes UTF-8; an invalid or truncated sequence gives U+FFFD for its first
// byte and decoding goes on after it. Where wchar_t is 16 bits wide, code
// points above U+FFFF become surrogate pairs. `valid`, when given, tells
// whether every byte was part of a valid sequence.
std::wstring fromUtf8(const std::string& text, bool* valid = nullptr);
