#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <limits>

#include "cli/file_io.h"

namespace {

// Decodes UTF-8; an invalid or truncated sequence gives U+FFFD for its
// first byte and decoding goes on after it.
std::wstring decodeUtf8(const std::string& text) {
  std::wstring out;
  size_t i = 0;
  while (i < text.size()) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    int count = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
    uint32_t code = count == 0 ? lead : count == 1 ? lead & 0x1F : count == 2 ? lead & 0x0F : lead & 0x07;
    bool valid = count >= 0;
    for (int k = 1; valid && k <= count; ++k) {
      if (i + k >= text.size()) {
        valid = false;
        break;
      }
      unsigned char c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) valid = false;
      code = (code << 6) | (c & 0x3F);
    }
    static const uint32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
    if (valid && (code < kMinimum[count] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))) {
      valid = false;
    }
    if (!valid) {
      out += static_cast<wchar_t>(0xFFFD);
      ++i;
      continue;
    }
    out += static_cast<wchar_t>(code);
    i += static_cast<size_t>(count) + 1;
  }
  return out;
}

bool writeAll(int fd, const uint8_t* data, size_t length, size_t& written) {
  written = 0;
  while (written < length) {
    ssize_t n = ::write(fd, data + written, length - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

// The mode a new file gets under the current umask, or the mode of the file
// being replaced, so that replacing a file through a temporary one does not
// change its permissions.
mode_t modeForTarget(const std::string& path) {
  struct stat existing;
  if (::stat(path.c_str(), &existing) == 0) return existing.st_mode & 07777;
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

std::wstring toWide(const NativeString& text) { return decodeUtf8(text); }

ReadOutcome readWholeFile(const NativeString& path, std::vector<uint8_t>& bytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ReadOutcome::kOpenError;
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return ReadOutcome::kOpenError;
  }
  if (!S_ISREG(info.st_mode) || info.st_size > std::numeric_limits<int32_t>::max()) {
    ::close(fd);
    return ReadOutcome::kReadError;
  }
  bytes.resize(static_cast<size_t>(info.st_size));
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  if (done != bytes.size()) return ReadOutcome::kReadError;
  return ReadOutcome::kRead;
}

SaveResult saveFileReplacing(const NativeString& path, const uint8_t* data, size_t length) {
  SaveResult result;
  std::string temp = path + ".tmp-XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return result;  // kCreateError
  ::fchmod(fd, modeForTarget(path));

  bool ok = writeAll(fd, data, length, result.bytesWritten);
  if (::close(fd) != 0) ok = false;
  if (!ok) {
    ::unlink(temp.c_str());
    result.outcome = SaveOutcome::kWriteError;
    return result;
  }
  // The target could not take the new file's place (a folder of that name, a
  // read-only folder): it was never written, as if it could not be created.
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    result.bytesWritten = 0;
    return result;  // kCreateError
  }
  result.outcome = SaveOutcome::kSaved;
  return result;
}

void printError(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stderr); }
