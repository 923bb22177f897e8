#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cwctype>
#include <iterator>

#include "platform/file_io.h"
#include "platform/file_policy.h"
#include "platform/utf8.h"

namespace {

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

// True when a "\\.\" path names a file on a disk rather than a device:
// "\\.\C:\folder\song.mid", "\\.\UNC\server\share\song.mid" and
// "\\.\Volume{...}\song.mid" are files; "\\.\NUL", "\\.\CON", "\\.\pipe\name",
// "\\.\COM1" and a bare volume ("\\.\C:") are devices.
bool namesDiskFile(const std::wstring& path) {
  const std::wstring rest = path.substr(4);
  if (rest.size() > 3 && std::iswalpha(rest[0]) && rest[1] == L':' && rest[2] == L'\\') return true;
  if (rest.size() > 4 && _wcsnicmp(rest.c_str(), L"UNC\\", 4) == 0) return true;
  const size_t separator = rest.find(L'\\');
  return _wcsnicmp(rest.c_str(), L"Volume{", 7) == 0 && separator != std::wstring::npos &&
         separator + 1 < rest.size();
}

// The form of `path` that every file function takes whatever its length:
// absolute, with the "\\?\" prefix ("\\?\UNC\" for a share), which switches
// off the 260-unit limit even where the system setting is off. A "\\.\" path
// that names a disk file gets the same prefix once normalised; device names
// ("\\.\" forms, which GetFullPathNameW also gives for NUL or CON) stay as
// they are. GetFullPathNameW has no length limit of its own.
std::wstring longForm(const std::wstring& path) {
  if (path.empty() || startsWith(path, L"\\\\?\\")) return path;
  const DWORD units = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (units == 0) return path;
  std::wstring full(units, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), units, full.data(), nullptr);
  if (length == 0 || length >= units) return path;
  full.resize(length);
  if (startsWith(full, L"\\\\.\\")) return namesDiskFile(full) ? L"\\\\?\\" + full.substr(4) : full;
  if (startsWith(full, L"\\\\?\\")) return full;
  if (startsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// Another program holds the file for a moment. "Access denied" is not
// among them when a file is made or opened: that is the folder's or the
// file's permission, and waiting would not change it.
bool busy(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }

// Where a scanner holds the target, replacing it can also report access
// denied (a file being deleted) or that the old file could not be removed.
bool busyReplacing(DWORD error) {
  return busy(error) || error == ERROR_ACCESS_DENIED || error == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

// CreateFileW, tried again for a while when another program holds the file.
HANDLE openPatiently(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                     DWORD flags) {
  for (int attempt = 1;; ++attempt) {
    HANDLE file = CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
    if (validHandle(file) || attempt == kBusyTries || !busy(GetLastError())) return file;
    Sleep(kBusyPauseMs);
  }
}

// The temporary file of the save in progress, for the console control
// handler, which runs on a thread of its own: a fixed buffer, published by
// the flag once complete.
wchar_t pendingTemporary[32768];
std::atomic<bool> temporaryPending{false};

BOOL WINAPI controlEvent(DWORD) {
  // The file is open with delete sharing: it goes once the process closes
  // it on the way out.
  if (temporaryPending.load()) DeleteFileW(pendingTemporary);
  return FALSE;  // and on to the default handler, which ends the process
}

void setPendingTemporary(const std::wstring& path) {
  temporaryPending.store(false);
  if (path.size() >= std::size(pendingTemporary)) return;
  std::copy(path.begin(), path.end(), pendingTemporary);
  pendingTemporary[path.size()] = L'\0';
  temporaryPending.store(true);
}

void dropTemporary(const std::wstring& temporary) {
  DeleteFileW(temporary.c_str());
  temporaryPending.store(false);
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

// The volume can't replace a file the Windows way (FAT, some network
// shares), or the old file is already gone: a rename does.
bool cannotReplace(DWORD error) {
  return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED ||
         error == ERROR_INVALID_PARAMETER || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT;
}

// Puts the finished temporary file in the target's place. An existing
// target is replaced with ReplaceFileW, which gives the new file the old
// one's security, attributes, alternate streams and creation time, as if
// the old file had been written over; where that can't be done, a rename
// replaces it, with the `kept` attributes set by hand.
bool putInPlace(const std::wstring& temporary, const std::wstring& target, bool exists,
                DWORD kept, DWORD& error) {
  bool attributesSet = false;
  for (int attempt = 1;; ++attempt) {
    if (exists) {
      if (ReplaceFileW(target.c_str(), temporary.c_str(), nullptr,
                       REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                       nullptr)) {
        return true;
      }
      error = GetLastError();
      if (cannotReplace(error)) {
        exists = false;
        continue;
      }
    } else {
      if (kept != 0 && !attributesSet) attributesSet = SetFileAttributesW(temporary.c_str(), kept);
      if (MoveFileExW(temporary.c_str(), target.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
      }
      error = GetLastError();
    }
    if (attempt >= kBusyTries || !busyReplacing(error)) return false;
    Sleep(kBusyPauseMs);
  }
}

}  // namespace

std::wstring toWide(const NativeString& text) { return text; }

ReadResult readWholeFile(const NativeString& path, std::vector<uint8_t>& bytes,
                         ReadSharing sharing) {
  bytes.clear();
  const std::wstring name = longForm(path);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return {ReadOutcome::kOpenError, L"Is a directory"};
  }
  HANDLE file =
      sharing == ReadSharing::kShared
          ? openPatiently(name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL)
          : CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
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
    temporary = folder + fromUtf8(temporaryFileName());
    // CREATE_NEW: a file that happens to have this name is never opened, let
    // alone truncated; another name is tried instead. Delete sharing lets
    // the control handler remove it while it is being written.
    file = openPatiently(temporary, GENERIC_WRITE, FILE_SHARE_DELETE, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL);
    const DWORD error = GetLastError();
    if (validHandle(file)) {
      setPendingTemporary(temporary);
    } else if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
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
    dropTemporary(temporary);
    result.outcome = SaveOutcome::kWriteError;
    result.reason = reasonOf(error);
    return result;
  }
  if (!putInPlace(temporary, target, exists, kept, error)) {
    // The target could not take the new file's place: it was never written,
    // as if it could not be made.
    dropTemporary(temporary);
    return createError(error);
  }
  temporaryPending.store(false);
  result.outcome = SaveOutcome::kSaved;
  return result;
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

bool sameFileName(const NativeString& a, const NativeString& b) {
  // Windows drops trailing dots and spaces from a name, and compares names
  // as the file system does, by upper-casing each unit.
  const auto trimmed = [](const std::wstring& name) {
    const size_t last = name.find_last_not_of(L". ");
    return last == std::wstring::npos ? std::wstring() : name.substr(0, last + 1);
  };
  const std::wstring x = trimmed(a), y = trimmed(b);
  return CompareStringOrdinal(x.c_str(), static_cast<int>(x.size()), y.c_str(),
                              static_cast<int>(y.size()), TRUE) == CSTR_EQUAL;
}

bool expandWildcards(const NativeString& argument, std::vector<NativeString>& files,
                     std::wstring& error) {
  files.clear();
  // The "?" of a "\\?\" prefix is no wildcard; only the last part is matched.
  const size_t prefix = startsWith(argument, L"\\\\?\\") ? 4 : 0;
  const size_t separator = argument.find_last_of(L"\\/:");
  const size_t nameStart =
      separator == std::wstring::npos || separator < prefix ? prefix : separator + 1;
  if (argument.find_first_of(L"*?", nameStart) == std::wstring::npos) {
    files.push_back(argument);
    return true;
  }
  const std::wstring folder = argument.substr(0, nameStart);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileExW(longForm(argument).c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, 0);
  if (validHandle(search)) {
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        files.push_back(folder + found.cFileName);
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  if (files.empty()) {
    error = argument + L": no file matches";
    return false;
  }
  std::sort(files.begin(), files.end(), [](const std::wstring& x, const std::wstring& y) {
    return CompareStringOrdinal(x.c_str(), static_cast<int>(x.size()), y.c_str(),
                                static_cast<int>(y.size()), TRUE) == CSTR_LESS_THAN;
  });
  return true;
}

void removeTemporaryFileOnInterrupt() { SetConsoleCtrlHandler(controlEvent, TRUE); }
