// What the C++ tests build on: MIDI images from hex, songs read from bytes with
// their log, chains as lists of fields, the sample files, the load-save fixed point.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "song/song.h"

std::vector<uint8_t> hexBytes(const std::string& text);  // "4D 54 ..." or "'MTrk' ...", blanks ignored
// A track's hex from events at absolute ticks (in tick order, ties as given),
// delta times worked out, End of Track appended.
using Timeline = std::vector<std::pair<int64_t, std::string>>;  // tick, event as hex
std::string trackHex(Timeline events);
std::string hexByte(uint32_t value);  // "3C "
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
using Events = std::vector<EventFields>;
constexpr EventFields kEnd = {0, 0xFF, 0x2F, 0, 2};  // End of Track, as the reader stores it
// The head first; extra bytes 0. The slot must be one of currentSong's, whose pool owns the events.
void buildTrack(TrackSlot& slot, const Events& events);
Events trackEvents(const TrackSlot& slot);
std::vector<int64_t> absoluteTicks(const TrackSlot& slot);

// The shared sample files (name, bytes), by name; none when the folder is absent.
std::vector<std::pair<std::string, std::vector<uint8_t>>> sampleMidiFiles();

// Loads and saves `data`, then that output: "" when it reads back without a
// damage line and saves to the same bytes.
std::string fixedPointProblem(const uint8_t* data, size_t size);
