#include <windows.h>

#include <cstdio>
#include <limits>

#include "cli/file_io.h"

std::wstring toWide(const NativeString& text) { return text; }

ReadOutcome readWholeFile(const NativeString& path, std::vector<uint8_t>& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE || file == nullptr) return ReadOutcome::kOpenError;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size) || size.QuadPart > std::numeric_limits<int32_t>::max()) {
    CloseHandle(file);
    return ReadOutcome::kReadError;
  }
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD done = 0;
  BOOL ok = bytes.empty() ||
            ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  CloseHandle(file);
  if (!ok || done != bytes.size()) return ReadOutcome::kReadError;
  return ReadOutcome::kRead;
}

SaveResult saveFileReplacing(const NativeString& path, const uint8_t* data, size_t length) {
  SaveResult result;
  std::wstring temp = path + L".tmp-" + std::to_wstring(GetCurrentProcessId());
  HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE || file == nullptr) return result;  // kCreateError

  DWORD written = 0;
  BOOL ok = length > std::numeric_limits<DWORD>::max()
                ? FALSE
                : WriteFile(file, data, static_cast<DWORD>(length), &written, nullptr);
  result.bytesWritten = written;
  if (ok && written != length) ok = FALSE;
  if (!CloseHandle(file)) ok = FALSE;
  if (!ok) {
    DeleteFileW(temp.c_str());
    result.outcome = SaveOutcome::kWriteError;
    return result;
  }
  // The target could not take the new file's place (held open elsewhere, a
  // folder of that name): it was never written, as if it could not be made.
  if (!MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileW(temp.c_str());
    result.bytesWritten = 0;
    return result;  // kCreateError
  }
  result.outcome = SaveOutcome::kSaved;
  return result;
}

void printError(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stderr); }
