// The command-line tool's access to files, in the platform's own path form:
// UTF-8 bytes on POSIX, UTF-16 on Windows (so that any path the system
// accepts works, non-ASCII ones included).
#pragma once

#include <cstddef>
#include <cstdint>
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

// Reads the whole file into `bytes`. A file of 2 GiB or more is a read error.
ReadOutcome readWholeFile(const NativeString& path, std::vector<uint8_t>& bytes);

enum class SaveOutcome { kSaved, kCreateError, kWriteError };

struct SaveResult {
  SaveOutcome outcome = SaveOutcome::kCreateError;
  // As the system reported them; 0 when the temporary file could not be made
  // or could not be renamed over the target.
  size_t bytesWritten = 0;
};

// Writes `length` bytes to a new temporary file beside `path`, then renames
// it over `path`. kCreateError: the temporary file could not be made, or not
// put in the target's place; kWriteError: the write failed or fell short.
// Whatever fails, an existing file at `path` is left as it was and no
// temporary file is left behind.
SaveResult saveFileReplacing(const NativeString& path, const uint8_t* data, size_t length);

// Writes UTF-8 text to standard error.
void printError(const std::string& text);
