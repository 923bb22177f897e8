// Files, standard streams and the console, in the platform's own path form:
// UTF-8 bytes on POSIX, UTF-16 on Windows (so that any path the system
// accepts works, non-ASCII ones included). The command-line tool uses all of
// it; on Windows the window's Save uses saveFileReplacing too, so that both
// replace a file the same careful way.
//
// Failures carry the system's reason as text (strerror natively,
// FormatMessageW on Windows), without a final period or line break.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#ifdef _WIN32
using NativeString = std::wstring;
#else
using NativeString = std::string;
#endif

// A native string as wide text, for the log and for parsing options; bytes
// that are not UTF-8 become U+FFFD.
std::wstring toWide(const NativeString& text);

enum class ReadOutcome { kRead, kOpenError, kReadError };

struct ReadResult {
  ReadOutcome outcome = ReadOutcome::kRead;
  std::wstring reason;  // empty when read
};

// Reads the whole of `path` into `bytes`: a regular file by its size, a pipe
// or device until it ends. 2 GiB or more is a read error (the reader takes
// an int32 size). A folder is an open error.
ReadResult readWholeFile(const NativeString& path, std::vector<uint8_t>& bytes);

// Reads standard input to its end, in binary.
ReadResult readStandardInput(std::vector<uint8_t>& bytes);

enum class SaveOutcome { kSaved, kCreateError, kWriteError };

struct SaveResult {
  SaveOutcome outcome = SaveOutcome::kCreateError;
  // As the system reported them; 0 when no file could be made or it could
  // not be put in the target's place.
  size_t bytesWritten = 0;
  std::wstring reason;  // empty when saved
};

// Saves `length` bytes at `path` without ever leaving a damaged file there:
// - a regular file or a new name: the bytes go to a new file beside the
//   target (".vk-" + 8 hex digits + ".tmp", created new under a name no file
//   has, never truncating one), which is flushed to disk and then renamed
//   over the target; the replaced file's permission bits (and, where the
//   system allows it, its owner; on Windows its hidden, system and archive
//   attributes) carry over. A target the user may not write (read-only) is
//   refused as a create error, before anything is made.
// - a symbolic link: followed; the file it points to is replaced.
// - an existing target that is not a regular file (a device, a FIFO, a
//   console): written directly.
// - a folder: a create error.
// kCreateError: nothing could be made, or the new file could not take the
// target's place; kWriteError: a write or the flush failed. Whatever fails,
// the target is left as it was and no temporary file is left behind.
SaveResult saveFileReplacing(const NativeString& path, const uint8_t* data, size_t length);

// Writes `length` bytes to standard output, unchanged (binary on Windows).
SaveResult writeStandardOutput(const uint8_t* data, size_t length);

enum class Stream { kOutput, kError };

// Writes text to standard output or standard error. Natively, and on Windows
// into a file or pipe, as UTF-8 (CR LF line ends on Windows); a Windows
// console gets it through WriteConsoleW, so that every character shows as
// typed whatever the console's code page.
void printText(Stream stream, const std::wstring& text);

// True when `path` names an existing folder; otherwise `reason` says why not.
bool isFolder(const NativeString& path, std::wstring& reason);

// The last part of `path` (after its last separator); empty when it ends in one.
NativeString fileNameOf(const NativeString& path);

// `folder` and `name` joined with the platform's separator.
NativeString joinPath(const NativeString& folder, const NativeString& name);

// A number that differs from run to run and from call to call: the system's
// random source mixed with a clock much finer than a second (the clock alone
// where there is no random source). For temporary names and drawn seeds.
inline uint32_t unpredictableNumber() {
  static std::mt19937 generator = [] {
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    uint32_t entropy = 0;
    try {
      entropy = std::random_device()();
    } catch (...) {
    }
    std::seed_seq seeds{entropy, static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
    return std::mt19937(seeds);
  }();
  return static_cast<uint32_t>(generator());
}
