// The Windows calls under a safe save (file_system.h), reading a whole
// file, and the console control handler that removes an interrupted save's
// temporary file. Paths reach these calls in long form (paths_windows.cpp).
#include <windows.h>

#include <cstdint>

#include "platform/file_io.h"
#include "platform/file_policy.h"
#include "platform/file_system.h"

namespace {

// WriteFile and ReadFile take a DWORD count; stay well below it.
constexpr DWORD kChunk = 1u << 24;

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

BOOL WINAPI controlEvent(DWORD) {
  // The file is open with delete sharing: it goes once the process closes
  // it on the way out.
  if (const wchar_t* temporary = pendingTemporary()) DeleteFileW(temporary);
  return FALSE;  // and on to the default handler, which ends the process
}

// Whether an existing target is a file on a disk at all, and if so where it
// really lives (links and junctions followed, as GetFinalPathNameByHandleW
// gives it, already in long form).
bool findOnDisk(std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (!validHandle(file)) return true;
  const bool onDisk = GetFileType(file) == FILE_TYPE_DISK;
  const DWORD units = GetFinalPathNameByHandleW(file, nullptr, 0, FILE_NAME_NORMALIZED);
  if (onDisk && units > 0) {
    std::wstring final(units, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(file, final.data(), units, FILE_NAME_NORMALIZED);
    if (length > 0 && length < units) {
      final.resize(length);
      path = final;
    }
  }
  CloseHandle(file);
  return onDisk;
}

// The volume can't replace a file the Windows way (FAT, some network
// shares), or the old file is already gone: a rename does.
bool cannotReplace(DWORD error) {
  return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED ||
         error == ERROR_INVALID_PARAMETER || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT;
}

}  // namespace

bool validHandle(FileHandle handle) { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }

// The system's text for `code`, without its line break and final period.
std::wstring reasonOf(unsigned long code) {
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

Target inspectTarget(const NativeString& path) {
  Target found;
  found.path = longForm(path);
  // In long form only a device keeps the "\\.\" prefix.
  if (found.path.compare(0, 4, L"\\\\.\\") == 0) {
    found.kind = TargetKind::kDevice;
    return found;
  }
  const DWORD attributes = GetFileAttributesW(found.path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return found;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    found.kind = TargetKind::kFolder;
    found.reason = L"Is a directory";
    return found;
  }
  if (!findOnDisk(found.path)) {
    found.kind = TargetKind::kDevice;
    return found;
  }
  const DWORD real = GetFileAttributesW(found.path.c_str());
  // A read-only file is refused, as copy refuses it: MoveFileExW would
  // not replace it either, only after a second of retries.
  if (real != INVALID_FILE_ATTRIBUTES && (real & FILE_ATTRIBUTE_READONLY) != 0) {
    found.kind = TargetKind::kReadOnly;
    found.reason = reasonOf(ERROR_ACCESS_DENIED);
    return found;
  }
  if (real != INVALID_FILE_ATTRIBUTES) {
    found.keptAttributes = real & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                   FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  }
  found.kind = TargetKind::kRegular;
  return found;
}

bool openForWriting(const NativeString& path, FileHandle& file, std::wstring& reason) {
  file = openPatiently(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL);
  if (!validHandle(file)) reason = reasonOf(GetLastError());
  return validHandle(file);
}

Creation createNewFile(const NativeString& path, const Target&, FileHandle& file,
                       std::wstring& reason) {
  // CREATE_NEW: made here, or not at all. Delete sharing lets the control
  // handler remove it while it is being written.
  file = openPatiently(path, GENERIC_WRITE, FILE_SHARE_DELETE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
  if (validHandle(file)) return Creation::kCreated;
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
    reason = reasonOf(ERROR_FILE_EXISTS);
    return Creation::kNameTaken;
  }
  reason = reasonOf(error);
  return Creation::kFailed;
}

bool writeAll(FileHandle file, const uint8_t* data, size_t length, size_t& written,
              std::wstring& reason) {
  written = 0;
  if (!validHandle(file)) {
    reason = reasonOf(ERROR_INVALID_HANDLE);
    return false;
  }
  while (written < length) {
    const size_t left = length - written;
    const DWORD chunk = left > kChunk ? kChunk : static_cast<DWORD>(left);
    DWORD done = 0;
    if (!WriteFile(file, data + written, chunk, &done, nullptr)) {
      reason = reasonOf(GetLastError());
      return false;
    }
    written += done;
    if (done == 0) {
      reason = reasonOf(ERROR_WRITE_FAULT);
      return false;
    }
  }
  return true;
}

bool closeFile(FileHandle file, bool flush, std::wstring& reason) {
  const bool flushed = !flush || FlushFileBuffers(file);
  if (!flushed) reason = reasonOf(GetLastError());
  CloseHandle(file);
  return flushed;
}

// An existing target is replaced with ReplaceFileW, which gives the new file
// the old one's security, attributes, alternate streams and creation time,
// as if the old file had been written over; where that can't be done, a
// rename replaces it, with the kept attributes set by hand.
bool replaceFile(const NativeString& temporary, const Target& target, std::wstring& reason) {
  bool exists = target.kind == TargetKind::kRegular;
  bool attributesSet = false;
  for (int attempt = 1;; ++attempt) {
    DWORD error = 0;
    if (exists) {
      if (ReplaceFileW(target.path.c_str(), temporary.c_str(), nullptr,
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
      if (target.keptAttributes != 0 && !attributesSet) {
        attributesSet = SetFileAttributesW(temporary.c_str(), target.keptAttributes);
      }
      if (MoveFileExW(temporary.c_str(), target.path.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
      }
      error = GetLastError();
    }
    if (attempt >= kBusyTries || !busyReplacing(error)) {
      reason = reasonOf(error);
      return false;
    }
    Sleep(kBusyPauseMs);
  }
}

void removeFile(const NativeString& path) { DeleteFileW(path.c_str()); }

// The control handler reads the temporary's name behind an atomic flag.
void holdInterrupts() {}
void releaseInterrupts() {}

void removeTemporaryFileOnInterrupt() { SetConsoleCtrlHandler(controlEvent, TRUE); }

ReadResult readToEnd(FileHandle file, std::vector<uint8_t>& bytes) {
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
