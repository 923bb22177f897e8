#include <windows.h>

#include <cstdio>
#include <limits>

#include "cli/file_io.h"

namespace {

constexpr size_t kLargestReadable = static_cast<size_t>(std::numeric_limits<int32_t>::max());
constexpr int kTemporaryNameTries = 100;
// Antivirus programs, the search indexer and folder-sync tools open a file
// that was just written, for a moment and often without sharing it: a
// rename or an open that meets them is tried again for about a second.
constexpr int kBusyTries = 10;
constexpr DWORD kBusyPauseMs = 100;
// WriteFile and ReadFile take a DWORD count; stay well below it.
constexpr DWORD kChunk = 1u << 24;

// The system's text for `code`, without its line break and final period.
std::wstring reasonOf(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD units = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring reason = units > 0 && text != nullptr ? std::wstring(text, units) : L"";
  if (text != nullptr) LocalFree(text);
  while (!reason.empty() && (reason.back() == L'\r' || reason.back() == L'\n' ||
                             reason.back() == L' ' || reason.back() == L'.')) {
    reason.pop_back();
  }
  if (reason.empty()) reason = L"Windows error " + std::to_wstring(code);
  return reason;
}

bool validHandle(HANDLE handle) { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }

bool startsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.compare(0, std::char_traits<wchar_t>::length(prefix), prefix) == 0;
}

// The form of `path` that every file function takes whatever its length:
// absolute, with the "\\?\" prefix ("\\?\UNC\" for a share), which switches
// off the 260-unit limit even where the system setting is off. Device names
// ("\\.\" forms, which GetFullPathNameW also gives for NUL or CON) stay as
// they are. GetFullPathNameW has no length limit of its own.
std::wstring longForm(const std::wstring& path) {
  if (path.empty() || startsWith(path, L"\\\\?\\") || startsWith(path, L"\\\\.\\")) return path;
  const DWORD units = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (units == 0) return path;
  std::wstring full(units, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), units, full.data(), nullptr);
  if (length == 0 || length >= units) return path;
  full.resize(length);
  if (startsWith(full, L"\\\\?\\") || startsWith(full, L"\\\\.\\")) return full;
  if (startsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

bool busy(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED; }

// CreateFileW, tried again for a while when another program holds the file.
HANDLE openPatiently(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                     DWORD flags) {
  for (int attempt = 1;; ++attempt) {
    HANDLE file = CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
    if (validHandle(file) || attempt == kBusyTries || !busy(GetLastError())) return file;
    Sleep(kBusyPauseMs);
  }
}

ReadResult readToEnd(HANDLE file, std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> buffer(65536);
  while (true) {
    DWORD got = 0;
    if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      const DWORD error = GetLastError();
      // The writing end of a pipe has closed: that is its end.
      if (error == ERROR_BROKEN_PIPE) return {};
      return {ReadOutcome::kReadError, reasonOf(error)};
    }
    if (got == 0) return {};
    if (bytes.size() + got > kLargestReadable) {
      return {ReadOutcome::kReadError, reasonOf(ERROR_FILE_TOO_LARGE)};
    }
    bytes.insert(bytes.end(), buffer.data(), buffer.data() + got);
  }
}

bool writeAll(HANDLE file, const uint8_t* data, size_t length, size_t& written, DWORD& error) {
  written = 0;
  while (written < length) {
    const size_t left = length - written;
    const DWORD chunk = left > kChunk ? kChunk : static_cast<DWORD>(left);
    DWORD done = 0;
    if (!WriteFile(file, data + written, chunk, &done, nullptr)) {
      error = GetLastError();
      return false;
    }
    written += done;
    if (done == 0) {
      error = ERROR_WRITE_FAULT;
      return false;
    }
  }
  return true;
}

SaveResult createError(DWORD error) {
  SaveResult result;
  result.reason = reasonOf(error);
  return result;
}

// Writes the bytes straight to `file`, with no temporary file in between.
SaveResult writeDirectly(HANDLE file, const uint8_t* data, size_t length) {
  SaveResult result;
  DWORD error = ERROR_INVALID_HANDLE;
  const bool ok = validHandle(file) && writeAll(file, data, length, result.bytesWritten, error);
  result.outcome = ok ? SaveOutcome::kSaved : SaveOutcome::kWriteError;
  if (!ok) result.reason = reasonOf(error);
  return result;
}

SaveResult writeInPlace(const std::wstring& target, const uint8_t* data, size_t length) {
  HANDLE file = openPatiently(target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (!validHandle(file)) return createError(GetLastError());
  const SaveResult result = writeDirectly(file, data, length);
  CloseHandle(file);
  return result;
}

std::wstring randomHex() {
  wchar_t text[9];
  std::swprintf(text, 9, L"%08x", static_cast<unsigned>(unpredictableNumber()));
  return text;
}

// What an existing target is: where it really lives (links and junctions
// followed, as GetFinalPathNameByHandleW gives it, already in long form)
// and whether it is a file on a disk at all.
struct ExistingTarget {
  std::wstring path;
  bool onDisk = true;
};

ExistingTarget inspect(const std::wstring& target) {
  ExistingTarget found{target, true};
  HANDLE file =
      CreateFileW(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (!validHandle(file)) return found;
  found.onDisk = GetFileType(file) == FILE_TYPE_DISK;
  const DWORD units = GetFinalPathNameByHandleW(file, nullptr, 0, FILE_NAME_NORMALIZED);
  if (found.onDisk && units > 0) {
    std::wstring final(units, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(file, final.data(), units, FILE_NAME_NORMALIZED);
    if (length > 0 && length < units) {
      final.resize(length);
      found.path = final;
    }
  }
  CloseHandle(file);
  return found;
}

}  // namespace

std::wstring toWide(const NativeString& text) { return text; }

ReadResult readWholeFile(const NativeString& path, std::vector<uint8_t>& bytes) {
  bytes.clear();
  const std::wstring name = longForm(path);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return {ReadOutcome::kOpenError, L"Is a directory"};
  }
  HANDLE file =
      openPatiently(name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (!validHandle(file)) return {ReadOutcome::kOpenError, reasonOf(GetLastError())};
  LARGE_INTEGER size;
  if (GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size)) {
    if (static_cast<uint64_t>(size.QuadPart) > kLargestReadable) {
      CloseHandle(file);
      return {ReadOutcome::kReadError, reasonOf(ERROR_FILE_TOO_LARGE)};
    }
    bytes.reserve(static_cast<size_t>(size.QuadPart));
  }
  ReadResult result = readToEnd(file, bytes);
  CloseHandle(file);
  return result;
}

ReadResult readStandardInput(std::vector<uint8_t>& bytes) {
  bytes.clear();
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (!validHandle(input)) return {ReadOutcome::kOpenError, reasonOf(ERROR_INVALID_HANDLE)};
  return readToEnd(input, bytes);
}

SaveResult saveFileReplacing(const NativeString& path, const uint8_t* data, size_t length) {
  std::wstring target = longForm(path);
  if (startsWith(target, L"\\\\.\\")) return writeInPlace(target, data, length);

  const DWORD attributes = GetFileAttributesW(target.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  DWORD kept = 0;
  if (exists) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      SaveResult result;
      result.reason = L"Is a directory";
      return result;
    }
    const ExistingTarget found = inspect(target);
    if (!found.onDisk) return writeInPlace(target, data, length);
    target = found.path;
    const DWORD real = GetFileAttributesW(target.c_str());
    // A read-only file is refused, as copy refuses it: MoveFileExW would
    // not replace it either, only after a second of retries.
    if (real != INVALID_FILE_ATTRIBUTES && (real & FILE_ATTRIBUTE_READONLY) != 0) {
      return createError(ERROR_ACCESS_DENIED);
    }
    if (real != INVALID_FILE_ATTRIBUTES) {
      kept = real & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    }
  }

  const size_t separator = target.find_last_of(L"\\/");
  const std::wstring folder =
      separator == std::wstring::npos ? L"" : target.substr(0, separator + 1);
  std::wstring temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int i = 0; i < kTemporaryNameTries && !validHandle(file); ++i) {
    temporary = folder + L".vk-" + randomHex() + L".tmp";
    // CREATE_NEW: a file that happens to have this name is never opened, let
    // alone truncated; another name is tried instead.
    file = openPatiently(temporary, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    const DWORD error = GetLastError();
    if (!validHandle(file) && error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      return createError(error);
    }
  }
  if (!validHandle(file)) return createError(ERROR_FILE_EXISTS);

  SaveResult result;
  DWORD error = 0;
  bool ok = writeAll(file, data, length, result.bytesWritten, error);
  // On disk before it takes the target's place.
  if (ok && !FlushFileBuffers(file)) {
    ok = false;
    error = GetLastError();
  }
  CloseHandle(file);
  if (!ok) {
    DeleteFileW(temporary.c_str());
    result.outcome = SaveOutcome::kWriteError;
    result.reason = reasonOf(error);
    return result;
  }
  if (kept != 0) SetFileAttributesW(temporary.c_str(), kept);

  for (int attempt = 1;; ++attempt) {
    if (MoveFileExW(temporary.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      result.outcome = SaveOutcome::kSaved;
      return result;
    }
    error = GetLastError();
    if (attempt == kBusyTries || !busy(error)) break;
    Sleep(kBusyPauseMs);
  }
  // The target could not take the new file's place: it was never written,
  // as if it could not be made.
  DeleteFileW(temporary.c_str());
  return createError(error);
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
  DWORD error = 0;
  writeAll(handle, reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(), written, error);
}

bool isFolder(const NativeString& path, std::wstring& reason) {
  const DWORD attributes = GetFileAttributesW(longForm(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    reason = reasonOf(GetLastError());
    return false;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    reason = reasonOf(ERROR_DIRECTORY);
    return false;
  }
  return true;
}

NativeString fileNameOf(const NativeString& path) {
  const size_t separator = path.find_last_of(L"\\/:");
  return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

NativeString joinPath(const NativeString& folder, const NativeString& name) {
  if (!folder.empty() &&
      (folder.back() == L'\\' || folder.back() == L'/' || folder.back() == L':')) {
    return folder + name;
  }
  return folder + L"\\" + name;
}
