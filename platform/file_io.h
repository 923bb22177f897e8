// Files, standard streams and the console, in the system's own path form:
// UTF-8 bytes on POSIX, UTF-16 on Windows (so that any path the system
// accepts works, non-ASCII ones included). The window and the command-line
// tool both stand on it. Behind it: the steps of a safe save, written once
// (safe_save.cpp), over each system's file calls (file_io_<system>.cpp);
// paths (paths_<system>.cpp); the standard streams (console_<system>.cpp).
//
// Failures carry the system's reason as text (strerror natively,
// FormatMessageW on Windows), without a final period or line break.
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

// kNotMidi: read, but no MIDI header anywhere in it (nothing was replaced).
enum class ReadOutcome { kRead, kOpenError, kReadError, kNotMidi };

struct ReadResult {
  ReadOutcome outcome = ReadOutcome::kRead;
  std::wstring reason;  // empty when read
};

// kShared lets other programs read the file meanwhile (and waits a moment
// for one that holds it); kExclusive refuses a file another program holds
// open, at once, so that a song being written elsewhere is never read half.
enum class ReadSharing { kShared, kExclusive };

// Reads the whole of `path` into `bytes`: a regular file by its size, a pipe
// or device until it ends. 2 GiB or more is a read error (the reader takes
// an int32 size). A folder is an open error. POSIX has no sharing modes:
// there `sharing` changes nothing.
ReadResult readWholeFile(const NativeString& path, std::vector<uint8_t>& bytes,
                         ReadSharing sharing = ReadSharing::kShared);

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
//   target (a name no file has, never truncating one), which is flushed to
//   disk and then takes the target's place. On Windows ReplaceFileW keeps
//   the replaced file's security, attributes, alternate streams and
//   creation time (a volume that can't do that gets a rename, keeping the
//   hidden, system and archive attributes); on POSIX the replaced file's
//   permission bits carry over, and its owner where the system allows it.
// - a read-only target (no write permission for anyone, or one the user may
//   not write) is refused as a create error before anything is made, root
//   included.
// - a symbolic link: followed; the file it points to is replaced.
// - a device (NUL, /dev/null, a pipe, a FIFO, a console): written directly.
//   A "\\.\" path that names a file on a disk is a file like any other.
// - a folder: a create error.
// kCreateError: nothing could be made, or the new file could not take the
// target's place; kWriteError: a write or the flush failed. Whatever fails,
// the target is left as it was and no temporary file is left behind, also
// when the process is interrupted (see removeTemporaryFileOnInterrupt).
SaveResult saveFileReplacing(const NativeString& path, const uint8_t* data, size_t length);

// Writes `length` bytes to standard output, unchanged (binary on Windows).
SaveResult writeStandardOutput(const uint8_t* data, size_t length);

// From now on Ctrl+C, a termination request and a hang-up (SIGINT, SIGTERM,
// SIGHUP natively; the console's control events on Windows) remove the
// temporary file of a save in progress before the process ends as it would
// have. For console programs; call once, early.
void removeTemporaryFileOnInterrupt();

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

// `folder` and `name` joined with the system's separator.
NativeString joinPath(const NativeString& folder, const NativeString& name);

// True when the two file names would name one file in one folder, as the
// system compares them: byte for byte on POSIX; on Windows without regard to
// case, trailing dots and spaces ignored ("Song.mid" and "song.MID." clash).
bool sameFileName(const NativeString& a, const NativeString& b);

// The files that one command-line argument names. On Windows, whose shells
// pass "*.mid" on unexpanded, an argument with * or ? in its last part is
// expanded to the files that match, in name order (folders are left out);
// one that matches nothing is false with `error` naming it. Natively the
// shell has expanded already: the argument is the one file.
bool expandWildcards(const NativeString& argument, std::vector<NativeString>& files,
                     std::wstring& error);

// A number that differs from run to run and from call to call: the system's
// random source mixed with a clock much finer than a second (the clock alone
// where there is no random source). For temporary names and drawn seeds.
uint32_t unpredictableNumber();
