// Fuzzes parseSong and serializeSong together. Any input must load without
// a fault, and what is saved must be a file that the reader takes without a
// damage line and writes back byte for byte: load(save(x)) is a fixed point.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cli/text_log.h"
#include "song/reader.h"
#include "song/song.h"
#include "song/writer.h"

namespace {

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fixed-point check failed: %s\n", what);
    std::abort();
  }
}

std::vector<uint8_t> loadAndSave(const uint8_t* data, size_t size) {
  clearTextLog();
  replaceCurrentSong();
  parseSong(data, static_cast<int32_t>(size));
  const Song& song = *currentSong;
  check(song.trackCount >= 0 && song.trackCount <= kMaxTracks, "track count in range");
  for (int t = 0; t < song.trackCount; ++t) {
    const MidiEvent* last = &song.tracks[t].head;
    while (last->next != nullptr) last = last->next;
    check(last->status == 0xFF && last->data1 == 0x2F, "every chain ends with End of Track");
  }
  uint8_t* image = nullptr;
  int32_t length = serializeSong(image);
  check(length >= 14 && image != nullptr, "an image of at least a header");
  std::vector<uint8_t> bytes(image, image + length);
  delete[] image;
  return bytes;
}

size_t logLineCount() {
  size_t lines = textLog.text.empty() ? 0 : 1;
  for (size_t at = textLog.text.find(L"\r\n"); at != std::wstring::npos;
       at = textLog.text.find(L"\r\n", at + 2)) {
    ++lines;
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  std::vector<uint8_t> first = loadAndSave(data, size);
  check(std::memcmp(first.data(), "MThd\0\0\0\6", 8) == 0, "output starts with a 6-byte header");
  std::vector<uint8_t> second = loadAndSave(first.data(), first.size());
  check(logLineCount() == 2, "the reader takes its own output without a damage line");
  check(first == second, "saving a loaded output gives the same bytes");
  delete currentSong;
  currentSong = nullptr;
  return 0;
}
