#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "platform/event_memory.h"
#include "platform/file_io.h"
#include "platform/file_policy.h"
#include "platform/utf8.h"

namespace {

// Links followed from the target before giving up, as the system does.
constexpr int kMaxLinks = 40;

std::wstring reasonOf(int error) { return fromUtf8(std::strerror(error)); }

// Reads `fd` to its end into `bytes`, after what `bytes` already holds:
// straight into its room while it has some (a regular file's size was
// reserved), then through a buffer.
ReadResult readToEnd(int fd, std::vector<uint8_t>& bytes) {
  ReadResult result;
  uint8_t buffer[65536];
  while (true) {
    const size_t held = bytes.size();
    const bool direct = bytes.capacity() > held;
    if (direct) bytes.resize(bytes.capacity());
    uint8_t* into = direct ? bytes.data() + held : buffer;
    const size_t room = direct ? bytes.size() - held : sizeof buffer;
    const ssize_t n = ::read(fd, into, room);
    if (direct) bytes.resize(held + static_cast<size_t>(n > 0 ? n : 0));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return {ReadOutcome::kReadError, reasonOf(errno)};
    if (n == 0) return result;
    if (bytes.size() + (direct ? 0 : static_cast<size_t>(n)) > kLargestReadable) {
      return {ReadOutcome::kReadError, reasonOf(EFBIG)};
    }
    if (!direct) bytes.insert(bytes.end(), buffer, buffer + n);
  }
}

bool writeAll(int fd, const uint8_t* data, size_t length, size_t& written, int& error) {
  written = 0;
  while (written < length) {
    const ssize_t n = ::write(fd, data + written, length - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : EIO;
      return false;
    }
    written += static_cast<size_t>(n);
  }
  return true;
}

SaveResult createError(int error) {
  SaveResult result;
  result.reason = reasonOf(error);
  return result;
}

// Follows symbolic links at the end of `path` until it names something that
// is not a link, or nothing. A relative link is read from the link's folder.
bool followLinks(const std::string& path, std::string& target, int& error) {
  target = path;
  for (int i = 0; i < kMaxLinks; ++i) {
    struct stat info;
    if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
    std::vector<char> link(PATH_MAX + 1);
    const ssize_t n = ::readlink(target.c_str(), link.data(), link.size() - 1);
    if (n < 0) {
      error = errno;
      return false;
    }
    std::string next(link.data(), static_cast<size_t>(n));
    const size_t slash = target.rfind('/');
    if (next[0] != '/' && slash != std::string::npos) next = target.substr(0, slash + 1) + next;
    target = next;
  }
  error = ELOOP;
  return false;
}

// Writes the bytes straight to `fd`, with no temporary file in between.
SaveResult writeDirectly(int fd, const uint8_t* data, size_t length) {
  SaveResult result;
  int error = 0;
  const bool ok = writeAll(fd, data, length, result.bytesWritten, error);
  result.outcome = ok ? SaveOutcome::kSaved : SaveOutcome::kWriteError;
  if (!ok) result.reason = reasonOf(error);
  return result;
}

// A target that is there and is not a regular file (a terminal, /dev/null,
// a FIFO) can't be replaced by renaming: it gets the bytes itself.
SaveResult writeInPlace(const std::string& target, const uint8_t* data, size_t length) {
  const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return createError(errno);
  SaveResult result = writeDirectly(fd, data, length);
  if (::close(fd) != 0 && result.outcome == SaveOutcome::kSaved) {
    result.outcome = SaveOutcome::kWriteError;
    result.reason = reasonOf(errno);
  }
  return result;
}

// The temporary file of the save in progress, for the signal handler: a
// fixed buffer, since a handler may not allocate. Empty when there is none.
// It is set and cleared with the signals blocked, so that a handler never
// sees half a name, nor removes a file that is no longer ours.
char pendingTemporary[PATH_MAX + 1];
const int kCleanedSignals[] = {SIGINT, SIGTERM, SIGHUP};

void interrupted(int signal) {
  if (pendingTemporary[0] != '\0') ::unlink(pendingTemporary);
  // Then end as the signal would have ended the process.
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// Runs `step` with the cleaned signals held back until it is done.
template <typename Step>
auto withSignalsHeld(Step step) {
  sigset_t held, before;
  sigemptyset(&held);
  for (int signal : kCleanedSignals) sigaddset(&held, signal);
  sigprocmask(SIG_BLOCK, &held, &before);
  auto result = step();
  sigprocmask(SIG_SETMASK, &before, nullptr);
  return result;
}

void setPendingTemporary(const std::string& path) {
  const size_t units = path.size() < PATH_MAX ? path.size() : 0;
  std::memcpy(pendingTemporary, path.data(), units);
  pendingTemporary[units] = '\0';
}

// Removes the temporary file; the handler has nothing left to do.
void dropTemporary(const std::string& temporary) {
  withSignalsHeld([&] {
    ::unlink(temporary.c_str());
    pendingTemporary[0] = '\0';
    return 0;
  });
}

}  // namespace

std::wstring toWide(const NativeString& text) { return fromUtf8(text); }

ReadResult readWholeFile(const NativeString& path, std::vector<uint8_t>& bytes, ReadSharing) {
  bytes.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return {ReadOutcome::kOpenError, reasonOf(errno)};
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
    ::close(fd);
    return {ReadOutcome::kOpenError, reasonOf(error)};
  }
  if (S_ISREG(info.st_mode)) {
    if (static_cast<uint64_t>(info.st_size) > kLargestReadable) {
      ::close(fd);
      return {ReadOutcome::kReadError, reasonOf(EFBIG)};
    }
    bytes.reserve(static_cast<size_t>(info.st_size));
    adviseHugePages(bytes.data(), bytes.capacity());
  }
  ReadResult result = readToEnd(fd, bytes);
  ::close(fd);
  return result;
}

ReadResult readStandardInput(std::vector<uint8_t>& bytes) {
  bytes.clear();
  return readToEnd(STDIN_FILENO, bytes);
}

SaveResult saveFileReplacing(const NativeString& path, const uint8_t* data, size_t length) {
  std::string target;
  int error = 0;
  if (!followLinks(path, target, error)) return createError(error);

  struct stat existing;
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (!exists && errno != ENOENT) return createError(errno);
  if (exists && S_ISDIR(existing.st_mode)) return createError(EISDIR);
  if (exists && !S_ISREG(existing.st_mode)) return writeInPlace(target, data, length);
  // Renaming over a file needs only the folder's permission; a file the user
  // may not write is refused all the same. So is one that nobody may write
  // (chmod a-w), root included: someone made it read-only on purpose.
  if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
    return createError(errno);
  }
  if (exists && (existing.st_mode & 0222) == 0) return createError(EACCES);

  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  std::string temporary;
  int fd = -1;
  for (int i = 0; i < kTemporaryNameTries && fd < 0; ++i) {
    temporary = folder + temporaryFileName();
    // O_EXCL: a file that happens to have this name is never opened, let
    // alone truncated; another name is tried instead. Made and recorded for
    // the signal handler in one step: an interruption removes it, and only it.
    int openError = 0;
    fd = withSignalsHeld([&] {
      const int made = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      openError = errno;
      if (made >= 0) setPendingTemporary(temporary);
      return made;
    });
    if (fd < 0 && openError != EEXIST) return createError(openError);
  }
  if (fd < 0) return createError(EEXIST);

  mode_t mode = 0;
  if (exists) {
    // Owner first: changing it clears set-user-id bits that the mode then
    // puts back. Only root may give a file away; for others it is the same
    // owner anyway, or the group they chose.
    if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
      // Not allowed: the new file stays the user's own.
    }
    mode = existing.st_mode & 07777;
  } else {
    mode = ::umask(0);
    ::umask(mode);
    mode = 0666 & ~mode;
  }
  ::fchmod(fd, mode);

  SaveResult result;
  bool ok = writeAll(fd, data, length, result.bytesWritten, error);
  // On disk before it takes the target's place: a crash after the rename
  // must not leave an empty file where the old one was.
  if (ok && ::fsync(fd) != 0) {
    ok = false;
    error = errno;
  }
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    dropTemporary(temporary);
    result.outcome = SaveOutcome::kWriteError;
    result.reason = reasonOf(error);
    return result;
  }
  const bool renamed = withSignalsHeld([&] {
    const bool done = ::rename(temporary.c_str(), target.c_str()) == 0;
    error = errno;
    if (done) pendingTemporary[0] = '\0';
    return done;
  });
  if (!renamed) {
    dropTemporary(temporary);
    return createError(error);
  }
  // The rename itself reaches the disk with the folder.
  const int folderFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  result.outcome = SaveOutcome::kSaved;
  return result;
}

SaveResult writeStandardOutput(const uint8_t* data, size_t length) {
  std::fflush(stdout);
  return writeDirectly(STDOUT_FILENO, data, length);
}

void printText(Stream stream, const std::wstring& text) {
  const std::string bytes = toUtf8(text);
  std::FILE* file = stream == Stream::kOutput ? stdout : stderr;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fflush(file);
}

bool isFolder(const NativeString& path, std::wstring& reason) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) {
    reason = reasonOf(errno);
    return false;
  }
  if (!S_ISDIR(info.st_mode)) {
    reason = reasonOf(ENOTDIR);
    return false;
  }
  return true;
}

NativeString fileNameOf(const NativeString& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

NativeString joinPath(const NativeString& folder, const NativeString& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

bool sameFileName(const NativeString& a, const NativeString& b) { return a == b; }

bool expandWildcards(const NativeString& argument, std::vector<NativeString>& files,
                     std::wstring&) {
  files.assign(1, argument);
  return true;
}

void removeTemporaryFileOnInterrupt() {
  struct sigaction action = {};
  action.sa_handler = interrupted;
  sigemptyset(&action.sa_mask);
  for (int signal : kCleanedSignals) {
    // A signal ignored when the tool started (nohup) stays ignored.
    struct sigaction before = {};
    if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}
