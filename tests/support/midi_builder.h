// What the C++ tests build on: MIDI byte images from hex, a song read from
// bytes with its log captured, event chains as lists of fields, the shared
// sample files, and the load-save fixed point that the fuzz target checks too.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "song/song.h"
#include "transform/random_source.h"

std::vector<uint8_t> hexBytes(const std::string& text);  // "4D 54 ...", blanks ignored
// A format-1 file at 96 ticks a quarter, one MTrk chunk per string of hex.
std::vector<uint8_t> midiFile(const std::vector<std::string>& tracks);
Song& loadSong(const std::vector<uint8_t>& bytes);  // a fresh currentSong; the log cleared
std::vector<uint8_t> saveSong();
std::vector<std::string> logLines();

struct EventFields {
  uint32_t deltaTime;
  uint8_t status, data1, data2;
  int32_t dataLength;
  bool operator==(const EventFields&) const = default;
};
std::ostream& operator<<(std::ostream& out, const EventFields& e);
using Events = std::vector<EventFields>;
void buildTrack(TrackSlot& slot, const Events& events);  // the head first; extra bytes 0
Events trackEvents(const TrackSlot& slot);
std::vector<int64_t> absoluteTicks(const TrackSlot& slot);

struct ScriptedSource {  // hands out these raw results (0..32767) in turn
  std::vector<uint16_t> raw;
  RandomSource source;
  explicit ScriptedSource(std::vector<uint16_t> values);
};

std::vector<std::filesystem::path> sampleMidiFiles();  // sorted; empty when absent
std::vector<uint8_t> readFileBytes(const std::filesystem::path& path);
#define SKIP_WITHOUT_SAMPLES()                                             \
  if (sampleMidiFiles().empty())                                           \
  GTEST_SKIP() << "no sample MIDI files: set VARNOOK_TESTDATA_DIR or add " \
                  "../shared/testdata/midi beside the checkout"

// Loads and saves `data`, then loads and saves that output: "" when the
// output reads back without a damage line, every chain ending with End of
// Track, and saves to the same bytes; otherwise what went wrong.
std::string fixedPointProblem(const uint8_t* data, size_t size);
