// Standard streams on Windows: bytes in binary; text through WriteConsoleW
// to a console, as UTF-8 with CR LF line ends to a file or pipe.
#include <windows.h>

#include <string>

#include "platform/file_io.h"
#include "platform/file_system.h"

ReadResult readStandardInput(std::vector<uint8_t>& bytes) {
  bytes.clear();
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (!validHandle(input)) return {ReadOutcome::kOpenError, reasonOf(ERROR_INVALID_HANDLE)};
  return readToEnd(input, bytes);
}

SaveResult writeStandardOutput(const uint8_t* data, size_t length) {
  return writeDirectly(GetStdHandle(STD_OUTPUT_HANDLE), data, length);
}

void printText(Stream stream, const std::wstring& text) {
  HANDLE handle = GetStdHandle(stream == Stream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (!validHandle(handle)) return;
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    // A console shows UTF-16 as it is; bytes it would read in its own code
    // page, which is seldom UTF-8.
    size_t done = 0;
    while (done < text.size()) {
      const DWORD chunk = static_cast<DWORD>(text.size() - done > 8192 ? 8192 : text.size() - done);
      DWORD written = 0;
      if (!WriteConsoleW(handle, text.data() + done, chunk, &written, nullptr) || written == 0) {
        return;
      }
      done += written;
    }
    return;
  }
  std::wstring lines;
  for (wchar_t c : text) {
    if (c == L'\n') lines += L'\r';
    lines += c;
  }
  if (lines.empty()) return;
  const int units = static_cast<int>(lines.size());
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, lines.data(), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return;
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, lines.data(), units, utf8.data(), bytes, nullptr, nullptr);
  size_t written = 0;
  std::wstring reason;
  writeAll(handle, reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(), written, reason);
}
