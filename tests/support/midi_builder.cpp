#include "support/midi_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <tuple>

#include "cli/text_log.h"
#include "platform/utf8.h"
#include "song/reader.h"
#include "song/writer.h"

#ifndef VARNOOK_TESTDATA_DIR
#define VARNOOK_TESTDATA_DIR ""
#endif

std::vector<uint8_t> hexBytes(const std::string& text) {
  std::vector<uint8_t> bytes;
  for (size_t at = text.find_first_not_of(' '), next = 0; at < text.size();
       at = text.find_first_not_of(' ', next)) {
    if (text[at] == '\'') {  // 'MTrk': the characters as bytes
      next = text.find('\'', at + 1) + 1;
      bytes.insert(bytes.end(), text.begin() + static_cast<long>(at) + 1,
                   text.begin() + static_cast<long>(next) - 1);
    } else {
      bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(at, 2), nullptr, 16)));
      next = at + 2;
    }
  }
  return bytes;
}

std::string hexByte(uint32_t value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X ", value & 0xFF);
  return text;
}

std::string trackHex(Timeline events) {
  std::stable_sort(events.begin(), events.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::string out;
  int64_t at = 0;
  for (const auto& [tick, bytes] : events) {
    const auto delta = static_cast<uint32_t>(tick - at);
    for (int shift = 21; shift > 0; shift -= 7) {
      if (delta >> shift) out += hexByte(0x80 | delta >> shift);
    }
    out += hexByte(delta & 0x7F) + bytes + " ";
    at = tick;
  }
  return out + "00 FF 2F 00";
}

std::vector<uint8_t> midiFile(const std::vector<std::string>& tracks) {
  char text[64];
  std::snprintf(text, sizeof text, "4D 54 68 64 00 00 00 06 00 01 %04X 00 60",
                static_cast<unsigned>(tracks.size()));
  std::string hex = text;
  for (const std::string& track : tracks) {
    std::snprintf(text, sizeof text, " 4D 54 72 6B %08X ",
                  static_cast<unsigned>(hexBytes(track).size()));
    hex += text + track;
  }
  return hexBytes(hex);
}

Song* testSong = nullptr;

Song& freshSong() {
  delete testSong;
  testSong = new Song;
  return *testSong;
}

Song& loadSong(const std::vector<uint8_t>& bytes) {
  clearTextLog();
  std::unique_ptr<Song> song = loadSongImage(bytes.data(), static_cast<int32_t>(bytes.size()));
  delete testSong;
  return *(testSong = song ? song.release() : new Song);
}

std::vector<uint8_t> saveSong() {
  uint8_t* image = nullptr;
  const int32_t length = serializeSong(*testSong, image);
  std::vector<uint8_t> bytes(image, image + std::max(length, 0));
  releaseImage(image);
  return bytes;
}

std::vector<std::string> logLines() {
  std::vector<std::string> lines;
  const std::string all = toUtf8(textLog.text);
  for (size_t start = 0, end = 0; !all.empty() && end != all.npos; start = end + 2)
    lines.push_back(all.substr(start, (end = all.find("\r\n", start)) - start));
  return lines;
}

void buildTrack(TrackSlot& slot, const Events& events) {
  MidiEvent* last = nullptr;
  for (const EventFields& f : events) {
    MidiEvent* event = last == nullptr ? &slot.head : (last->next = newEvent(*testSong));
    std::tie(event->deltaTime, event->status, event->data1, event->data2, event->dataLength) =
        std::tie(f.deltaTime, f.status, f.data1, f.data2, f.dataLength);
    if (f.dataLength > 2) event->extra = new uint8_t[f.dataLength - 2]();
    last = event;
  }
}

Events trackEvents(const TrackSlot& slot) {
  Events out;
  for (const MidiEvent* e = &slot.head; e != nullptr; e = e->next)
    out.push_back({e->deltaTime, e->status, e->data1, e->data2, e->dataLength});
  return out;
}

std::vector<std::pair<std::string, std::vector<uint8_t>>> sampleMidiFiles() {
  const char* env = std::getenv("VARNOOK_TESTDATA_DIR");
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(
           env != nullptr && *env != '\0' ? env : VARNOOK_TESTDATA_DIR, error)) {
    std::ifstream in(entry.path(), std::ios::binary);
    if (entry.path().extension() == ".mid")
      files.emplace_back(entry.path().filename().string(),
                         std::vector<uint8_t>{std::istreambuf_iterator<char>(in), {}});
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string fixedPointProblem(const uint8_t* data, size_t size) {
  // An image without a MIDI header is refused by Load: nothing to save.
  if (!loadSong(std::vector<uint8_t>(data, data + size)).pieces.size()) return "";
  const std::vector<uint8_t> first = saveSong();
  loadSong(first);
  // No damaged track: one saved without its End of Track would read back cut short. (A header cut
  // short is kept as it stands, and said again.)
  for (const std::string& line : logLines()) {
    if (line.rfind("Track ", 0) == 0) return "the reader complains about its own output: " + line;
  }
  return saveSong() == first ? "" : "the saved output saves to other bytes";
}
