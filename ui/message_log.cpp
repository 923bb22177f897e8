// The window's appendLog: the log is the text of edit control IDC_LOG and
// nothing else. Lines are joined by CR LF with no separator before the first.
// While app.logMuted is set, lines go nowhere.

#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <new>

#include "res/resource.h"
#include "song/log.h"
#include "ui/main_window.h"

namespace {

// Room beyond the old text and the new line: the separator, the terminator
// and the slack WM_GETTEXT is told it may use.
constexpr size_t kLogSlack = 100;

void appendBounded(wchar_t* buffer, size_t capacity, const wchar_t* text) {
  const size_t used = std::wcslen(buffer);
  size_t i = 0;
  for (; text[i] != L'\0' && used + i + 1 < capacity; ++i) buffer[used + i] = text[i];
  buffer[used + i] = L'\0';
}

}  // namespace

void appendLog(const wchar_t* text) {
  if (app.logMuted) return;
  HWND log = GetDlgItem(app.mainWindowHandle, IDC_LOG);
  const size_t oldLength = static_cast<size_t>(GetWindowTextLengthW(log));
  const size_t textLength = std::wcslen(text);
  // The units can't overflow a size_t here, but their byte count is checked
  // all the same: an impossible request fails like any other allocation.
  size_t capacity = textLength + oldLength + kLogSlack;
  if (capacity > SIZE_MAX / sizeof(wchar_t)) capacity = SIZE_MAX / sizeof(wchar_t);
  wchar_t* buffer = new wchar_t[capacity];
  buffer[0] = L'\0';
  SendMessageW(log, WM_GETTEXT, oldLength + kLogSlack, reinterpret_cast<LPARAM>(buffer));
  if (oldLength > 0) appendBounded(buffer, capacity, L"\r\n");
  appendBounded(buffer, capacity, text);
  SendMessageW(log, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(buffer));
  // Scrolling down by the whole line count always lands on the last line,
  // wherever the user had scrolled to.
  const LRESULT lines = SendMessageW(log, EM_GETLINECOUNT, 0, 0);
  SendMessageW(log, EM_LINESCROLL, 0, lines);
  delete[] buffer;
}
