// UTF-8 to and from wide text, the same on every system (no locale, no
// system call): for log lines, paths on POSIX, redirected output and track
// names, which carry no encoding of their own.
#pragma once

#include <string>

// Converts a wide string to UTF-8; code points that are not valid become U+FFFD.
std::string toUtf8(const std::wstring& text);

// Decodes UTF-8; an invalid or truncated sequence gives U+FFFD for its first
// byte and decoding goes on after it. Where wchar_t is 16 bits wide, code
// points above U+FFFF become surrogate pairs. `valid`, when given, tells
// whether every byte was part of a valid sequence.
std::wstring fromUtf8(const std::string& text, bool* valid = nullptr);
