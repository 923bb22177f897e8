// The few system calls under a safe save, and the reading and writing that
// the console code shares with it. safe_save.cpp puts them in order, the
// same on every system; file_io_posix.cpp and file_io_windows.cpp make each
// of them one system's calls and know nothing of that order. Only
// platform/*.cpp include this.
//
// A call that fails says why in `reason`, as the system words it (see
// file_io.h), and never tries again on its own, but where a Windows file is
// held for a moment by another program (file_policy.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_io.h"

#ifdef _WIN32
using FileHandle = void*;  // a HANDLE
#else
#include <sys/types.h>
using FileHandle = int;  // a file descriptor
#endif

// What a save finds at its target's path.
enum class TargetKind {
  kMissing,      // nothing yet: the new file takes the name
  kRegular,      // a file on a disk, to be replaced
  kDevice,       // a pipe, a console, a null device: written in place
  kFolder,       // refused
  kReadOnly,     // refused: a file the user may not, or nobody may, write
  kUnreachable,  // refused: the path can't be looked up (a loop of links)
};

struct Target {
  TargetKind kind = TargetKind::kMissing;
  // Where the bytes go: symbolic links (and on Windows junctions) followed,
  // in the form the system calls take (on Windows the long form).
  NativeString path;
  std::wstring reason;  // why a folder, a read-only or unreachable target is refused
  // What the new file takes over from the regular file it replaces, where
  // replacing does not carry it over by itself.
#ifdef _WIN32
  unsigned long keptAttributes = 0;  // hidden, system, archive, not indexed
#else
  uid_t owner = 0;
  gid_t group = 0;
  mode_t mode = 0;
#endif
};

// Looks at what `path` names, as a save would meet it.
Target inspectTarget(const NativeString& path);

// Opens an existing file or device for writing, without truncating it.
bool openForWriting(const NativeString& path, FileHandle& file, std::wstring& reason);

enum class Creation { kCreated, kNameTaken, kFailed };

// Makes `path` as a new empty file, open for writing, only if no file has
// that name: one that has is never opened, let alone truncated (kNameTaken,
// with the system's reason for it). Natively the new file takes the owner
// (where allowed) and the permission bits of `target` when it is a regular
// file, and the user's default permissions otherwise.
Creation createNewFile(const NativeString& path, const Target& target, FileHandle& file,
                       std::wstring& reason);

// Writes all `length` bytes, in as many calls as the system needs; `written`
// is how many it took, also when one fails.
bool writeAll(FileHandle file, const uint8_t* data, size_t length, size_t& written,
              std::wstring& reason);

// Closes `file`, after flushing it to the disk when `flush`. The file is
// closed whatever fails first. Windows reports no failed close.
bool closeFile(FileHandle file, bool flush, std::wstring& reason);

// Puts the closed file `temporary` in the place of `target` (kMissing or
// kRegular), and makes that lasting on the disk: a replaced file's
// security, attributes and streams are kept on Windows; natively the folder
// is flushed after the rename.
bool replaceFile(const NativeString& temporary, const Target& target, std::wstring& reason);

void removeFile(const NativeString& path);

// Reads `file` to its end, after what `bytes` already holds.
ReadResult readToEnd(FileHandle file, std::vector<uint8_t>& bytes);

// Writes the bytes to an open file or stream, which stays open.
SaveResult writeDirectly(FileHandle file, const uint8_t* data, size_t length);

// The folder part of `path` with its final separator; empty when it has none.
NativeString folderOf(const NativeString& path);

// The interrupt cleanup (removeTemporaryFileOnInterrupt) removes the file
// that pendingTemporary names, or nothing when it is null. A save changes
// that name only between holdInterrupts and releaseInterrupts: natively the
// cleaned signals wait meanwhile, so that a handler never meets a file made
// but not yet named, nor one renamed but still named. Windows' handler runs
// on a thread of its own and has nothing to hold back.
const NativeString::value_type* pendingTemporary();
void holdInterrupts();
void releaseInterrupts();

#ifdef _WIN32
// Shared by the Windows files alone.
bool validHandle(FileHandle handle);
std::wstring reasonOf(unsigned long code);  // a GetLastError code
// `path` as every file function takes it whatever its length (paths_windows.cpp).
std::wstring longForm(const std::wstring& path);
#endif
