// What every C++ test of Varnook builds on: MIDI byte images from readable
// hex, a song loaded from bytes with its log captured, event chains from
// lists of fields, the shared sample files, and the load-save fixed point
// that the tests and the fuzz target both check.
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "song/song.h"
#include "transform/random_source.h"

// Pairs of hex digits separated by blanks; "#" starts a comment that runs to
// the end of the line, so a fixture can carry a comment per event.
std::vector<uint8_t> hexBytes(const std::string& text);

// A file: a 6-byte header (format 1, the number of tracks, 96 ticks per
// quarter note) and one MTrk chunk per entry of `tracks` (event bytes as
// hex), each with its correct length.
std::vector<uint8_t> midiFile(const std::vector<std::string>& tracks);

// Replaces currentSong with one read from `bytes`, the log cleared first.
Song& loadSong(const std::vector<uint8_t>& bytes);
std::vector<uint8_t> saveSong();      // serializeSong of currentSong
std::vector<std::string> logLines();  // the captured log, UTF-8
void clearLog();

// One event as its fields stand.
struct EventFields {
  uint32_t deltaTime = 0;
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;
  int32_t dataLength = 2;
  bool operator==(const EventFields&) const = default;
};
std::ostream& operator<<(std::ostream& out, const EventFields& e);
using Events = std::vector<EventFields>;

// Fills an empty slot: the first entry becomes the head. Events longer than
// two data bytes get an extra block of zeros.
void buildTrack(TrackSlot& slot, const Events& events);
Events trackEvents(const TrackSlot& slot);  // the head, then the chain
std::vector<int64_t> absoluteTicks(const TrackSlot& slot);

// A random source that hands out these raw results (0..32767) in turn;
// rawForDraws gives the raw results for which drawAround(amount) yields
// exactly `draws`.
struct ScriptedSource {
  std::vector<uint16_t> raw;
  RandomSource source;
  explicit ScriptedSource(std::vector<uint16_t> values);
};
std::vector<uint16_t> rawForDraws(std::initializer_list<int> draws, int amount);

// The shared sample files, sorted; empty when the folder is absent.
std::vector<std::filesystem::path> sampleMidiFiles();
std::vector<uint8_t> readFileBytes(const std::filesystem::path& path);
#define SKIP_WITHOUT_SAMPLES()                                             \
  if (sampleMidiFiles().empty())                                           \
  GTEST_SKIP() << "no sample MIDI files: set VARNOOK_TESTDATA_DIR or add " \
                  "../shared/testdata/midi beside the checkout"

// Loads `bytes` and saves; loads that output and saves again. "" when the
// first output reads back without a damage line, every chain ending with
// End of Track, and saves to the same bytes; otherwise what went wrong.
std::string fixedPointProblem(const uint8_t* data, size_t size);
