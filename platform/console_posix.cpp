// Standard streams natively: bytes as they are, text as UTF-8.
#include <unistd.h>

#include <cstdio>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/utf8.h"

ReadResult readStandardInput(std::vector<uint8_t>& bytes) {
  bytes.clear();
  return readToEnd(STDIN_FILENO, bytes);
}

SaveResult writeStandardOutput(const uint8_t* data, size_t length) {
  // Text sent through stdout goes before the bytes, never after them.
  std::fflush(stdout);
  return writeDirectly(STDOUT_FILENO, data, length);
}

void printText(Stream stream, const std::wstring& text) {
  const std::string bytes = toUtf8(text);
  std::FILE* file = stream == Stream::kOutput ? stdout : stderr;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fflush(file);
}
