// The POSIX calls under a safe save (file_system.h), reading a whole file,
// and the signal handlers that remove an interrupted save's temporary file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstring>

#include "platform/event_memory.h"
#include "platform/file_io.h"
#include "platform/file_policy.h"
#include "platform/file_system.h"
#include "platform/utf8.h"

namespace {

// Links followed from the target before giving up, as the system does.
constexpr int kMaxLinks = 40;

std::wstring reasonOf(int error) { return fromUtf8(std::strerror(error)); }

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

const int kCleanedSignals[] = {SIGINT, SIGTERM, SIGHUP};
// The signal mask that releaseInterrupts puts back.
sigset_t signalsBefore;

void interrupted(int signal) {
  if (const char* temporary = pendingTemporary()) ::unlink(temporary);
  // Then end as the signal would have ended the process.
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

Target inspectTarget(const NativeString& path) {
  Target found;
  int error = 0;
  if (!followLinks(path, found.path, error)) {
    found.kind = TargetKind::kUnreachable;
    found.reason = reasonOf(error);
    return found;
  }
  struct stat existing;
  if (::stat(found.path.c_str(), &existing) != 0) {
    if (errno != ENOENT) {
      found.kind = TargetKind::kUnreachable;
      found.reason = reasonOf(errno);
    }
    return found;
  }
  if (S_ISDIR(existing.st_mode)) {
    found.kind = TargetKind::kFolder;
    found.reason = reasonOf(EISDIR);
    return found;
  }
  if (!S_ISREG(existing.st_mode)) {
    found.kind = TargetKind::kDevice;
    return found;
  }
  // Renaming over a file needs only the folder's permission; a file the user
  // may not write is refused all the same. So is one that nobody may write
  // (chmod a-w), root included: someone made it read-only on purpose.
  const bool writable = ::faccessat(AT_FDCWD, found.path.c_str(), W_OK, AT_EACCESS) == 0;
  if (!writable || (existing.st_mode & 0222) == 0) {
    found.kind = TargetKind::kReadOnly;
    found.reason = reasonOf(writable ? EACCES : errno);
    return found;
  }
  found.kind = TargetKind::kRegular;
  found.owner = existing.st_uid;
  found.group = existing.st_gid;
  found.mode = existing.st_mode & 07777;
  return found;
}

bool openForWriting(const NativeString& path, FileHandle& file, std::wstring& reason) {
  file = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (file < 0) reason = reasonOf(errno);
  return file >= 0;
}

Creation createNewFile(const NativeString& path, const Target& target, FileHandle& file,
                       std::wstring& reason) {
  // O_EXCL: made here, or not at all.
  file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (file < 0) {
    const int error = errno;
    reason = reasonOf(error);
    return error == EEXIST ? Creation::kNameTaken : Creation::kFailed;
  }
  mode_t mode = 0;
  if (target.kind == TargetKind::kRegular) {
    // Owner first: changing it clears set-user-id bits that the mode then
    // puts back. Only root may give a file away; for others it is the same
    // owner anyway, or the group they chose.
    if (::fchown(file, target.owner, target.group) != 0) {
      // Not allowed: the new file stays the user's own.
    }
    mode = target.mode;
  } else {
    mode = ::umask(0);
    ::umask(mode);
    mode = 0666 & ~mode;
  }
  ::fchmod(file, mode);
  return Creation::kCreated;
}

bool writeAll(FileHandle file, const uint8_t* data, size_t length, size_t& written,
              std::wstring& reason) {
  written = 0;
  while (written < length) {
    const ssize_t n = ::write(file, data + written, length - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      reason = reasonOf(n < 0 ? errno : EIO);
      return false;
    }
    written += static_cast<size_t>(n);
  }
  return true;
}

bool closeFile(FileHandle file, bool flush, std::wstring& reason) {
  bool ok = true;
  if (flush && ::fsync(file) != 0) {
    ok = false;
    reason = reasonOf(errno);
  }
  if (::close(file) != 0 && ok) {
    ok = false;
    reason = reasonOf(errno);
  }
  return ok;
}

bool replaceFile(const NativeString& temporary, const Target& target, std::wstring& reason) {
  if (::rename(temporary.c_str(), target.path.c_str()) != 0) {
    reason = reasonOf(errno);
    return false;
  }
  // The rename itself reaches the disk with the folder.
  const std::string folder = folderOf(target.path);
  const int folderFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  return true;
}

void removeFile(const NativeString& path) { ::unlink(path.c_str()); }

void holdInterrupts() {
  sigset_t held;
  sigemptyset(&held);
  for (int signal : kCleanedSignals) sigaddset(&held, signal);
  sigprocmask(SIG_BLOCK, &held, &signalsBefore);
}

void releaseInterrupts() { sigprocmask(SIG_SETMASK, &signalsBefore, nullptr); }

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

// Straight into the vector's room while it has some (a regular file's size
// was reserved), then through a buffer.
ReadResult readToEnd(FileHandle file, std::vector<uint8_t>& bytes) {
  ReadResult result;
  uint8_t buffer[65536];
  while (true) {
    const size_t held = bytes.size();
    const bool direct = bytes.capacity() > held;
    if (direct) bytes.resize(bytes.capacity());
    uint8_t* into = direct ? bytes.data() + held : buffer;
    const size_t room = direct ? bytes.size() - held : sizeof buffer;
    const ssize_t n = ::read(file, into, room);
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
