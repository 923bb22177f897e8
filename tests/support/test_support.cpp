#include "support/test_support.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "cli/text_log.h"
#include "song/reader.h"
#include "song/song.h"
#include "song/writer.h"

std::vector<uint8_t> hexBytes(const std::string& text) {
  std::vector<uint8_t> bytes;
  int high = -1;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '#' || (c == '/' && i + 1 < text.size() && text[i + 1] == '/')) {
      while (i < text.size() && text[i] != '\n') ++i;
      continue;
    }
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) {
      throw std::invalid_argument(std::string("not a hex digit: ") + c);
    }
    int nibble = std::isdigit(static_cast<unsigned char>(c))
                     ? c - '0'
                     : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    if (high < 0) {
      high = nibble;
    } else {
      bytes.push_back(static_cast<uint8_t>(high * 16 + nibble));
      high = -1;
    }
  }
  if (high >= 0) throw std::invalid_argument("odd number of hex digits");
  return bytes;
}

std::filesystem::path testDataDir() {
  std::filesystem::path dir;
  if (const char* env = std::getenv("VARNOOK_TESTDATA_DIR"); env != nullptr && *env != '\0') {
    dir = env;
  } else {
#ifdef VARNOOK_TESTDATA_DIR
    dir = VARNOOK_TESTDATA_DIR;
#endif
  }
  std::error_code error;
  if (dir.empty() || !std::filesystem::is_directory(dir, error)) return {};
  return dir;
}

std::vector<std::filesystem::path> sampleMidiFiles() {
  std::vector<std::filesystem::path> files;
  std::filesystem::path dir = testDataDir();
  if (dir.empty()) return files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.is_regular_file() && entry.path().extension() == ".mid") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<uint8_t> readFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Song* loadSongFromBytes(const std::vector<uint8_t>& bytes) {
  clearTextLog();
  replaceCurrentSong();
  parseSong(bytes.data(), static_cast<int32_t>(bytes.size()));
  return currentSong;
}

std::vector<uint8_t> saveSongToBytes() {
  uint8_t* image = nullptr;
  int32_t length = serializeSong(image);
  std::vector<uint8_t> bytes(image, image + length);
  delete[] image;
  return bytes;
}

std::vector<std::string> logLines() {
  std::vector<std::string> lines;
  std::string all = toUtf8(textLog.text);
  size_t start = 0;
  if (all.empty()) return lines;
  while (true) {
    size_t end = all.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(all.substr(start));
      break;
    }
    lines.push_back(all.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}
