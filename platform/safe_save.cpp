// The steps of a safe save, the same on every system: the target is never
// written but through a complete, flushed file that takes its place, and
// whatever fails leaves no temporary file behind. The calls under each step
// are one system's (file_system.h).
#include <algorithm>
#include <atomic>
#include <iterator>
#include <string>

#include "platform/file_io.h"
#include "platform/file_policy.h"
#include "platform/file_system.h"

namespace {

// The temporary file of the save in progress, for the interrupt cleanup: a
// fixed buffer, since a signal handler may not allocate and Windows' handler
// runs on a thread of its own, published by the flag once complete. Room for
// the longest path either system takes (Windows' 32767 units).
NativeString::value_type pendingName[32768];
std::atomic<bool> namePending{false};

void recordTemporary(const NativeString& path) {
  namePending.store(false);
  if (path.size() >= std::size(pendingName)) return;
  std::copy(path.begin(), path.end(), pendingName);
  pendingName[path.size()] = 0;
  namePending.store(true);
}

void forgetTemporary() { namePending.store(false); }

// Holds the interrupts back for as long as it lives.
struct InterruptsHeld {
  InterruptsHeld() { holdInterrupts(); }
  ~InterruptsHeld() { releaseInterrupts(); }
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;
};

// Removes the temporary file; the interrupt cleanup has nothing left to do.
void dropTemporary(const NativeString& temporary) {
  const InterruptsHeld held;
  removeFile(temporary);
  forgetTemporary();
}

SaveResult createError(const std::wstring& reason) {
  SaveResult result;
  result.reason = reason;
  return result;
}

// Writes the bytes to `file` and closes it, flushed first when `flush`: the
// first failure is the result's.
SaveResult writeAndClose(FileHandle file, const uint8_t* data, size_t length, bool flush) {
  SaveResult result = writeDirectly(file, data, length);
  const bool written = result.outcome == SaveOutcome::kSaved;
  std::wstring reason;
  if (!closeFile(file, written && flush, reason) && written) {
    result.outcome = SaveOutcome::kWriteError;
    result.reason = reason;
  }
  return result;
}

// A target that is there and is not a file on a disk (a terminal, a pipe, a
// null device) can't be replaced: it gets the bytes itself.
SaveResult writeInPlace(const NativeString& device, const uint8_t* data, size_t length) {
  FileHandle file{};
  std::wstring reason;
  if (!openForWriting(device, file, reason)) return createError(reason);
  return writeAndClose(file, data, length, false);
}

}  // namespace

const NativeString::value_type* pendingTemporary() {
  return namePending.load() ? pendingName : nullptr;
}

SaveResult writeDirectly(FileHandle file, const uint8_t* data, size_t length) {
  SaveResult result;
  std::wstring reason;
  const bool ok = writeAll(file, data, length, result.bytesWritten, reason);
  result.outcome = ok ? SaveOutcome::kSaved : SaveOutcome::kWriteError;
  if (!ok) result.reason = reason;
  return result;
}

SaveResult saveFileReplacing(const NativeString& path, const uint8_t* data, size_t length) {
  const Target target = inspectTarget(path);
  switch (target.kind) {
    case TargetKind::kMissing:
    case TargetKind::kRegular:
      break;
    case TargetKind::kDevice:
      return writeInPlace(target.path, data, length);
    case TargetKind::kFolder:
    case TargetKind::kReadOnly:
    case TargetKind::kUnreachable:
      return createError(target.reason);
  }

  // The new file goes beside the target, so that taking its place is a
  // rename within one volume.
  const NativeString folder = folderOf(target.path);
  NativeString temporary;
  FileHandle file{};
  std::wstring reason;
  Creation made = Creation::kNameTaken;
  for (int i = 0; i < kTemporaryNameTries && made == Creation::kNameTaken; ++i) {
    const std::string name = temporaryFileName();  // ASCII: the same in either string form
    temporary = folder + NativeString(name.begin(), name.end());
    // Made and named for the interrupt cleanup in one step: an interruption
    // removes it, and only it.
    const InterruptsHeld held;
    made = createNewFile(temporary, target, file, reason);
    if (made == Creation::kCreated) recordTemporary(temporary);
  }
  if (made != Creation::kCreated) return createError(reason);

  // On disk before it takes the target's place: a crash after the rename
  // must not leave an empty file where the old one was.
  SaveResult result = writeAndClose(file, data, length, true);
  if (result.outcome != SaveOutcome::kSaved) {
    dropTemporary(temporary);
    return result;
  }
  bool replaced = false;
  {
    const InterruptsHeld held;
    replaced = replaceFile(temporary, target, reason);
    if (replaced) forgetTemporary();
  }
  if (!replaced) {
    // The target could not take the new file's place: it was never written,
    // as if it could not be made.
    dropTemporary(temporary);
    return createError(reason);
  }
  return result;
}
