// What the C++ tests and the fuzz targets build on: MIDI images from hex, songs read from bytes
// with their log, chains as lists of fields, the sample files.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "song/song.h"

std::vector<uint8_t> hexBytes(
    const std::string& text);         // "4D 54 ..." or "'MTrk' ...", blanks ignored
std::string hexByte(uint32_t value);  // "3C "
// A track's hex from events at absolute ticks (ties keep their order), End of Track appended.
using Timeline = std::vector<std::pair<int64_t, std::string>>;  // tick, event as hex
std::string trackHex(Timeline events);
std::vector<uint8_t> midiFile(
    const std::vector<std::string>& tracks);        // format 1, 96 ticks a quarter
extern Song* testSong;                              // the song the helpers below work on
Song& freshSong();                                  // a new, empty testSong
Song& loadSong(const std::vector<uint8_t>& bytes);  // a fresh testSong; the log cleared
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
// The head first; extra bytes 0. The slot must be one of testSong's, whose pool owns the events.
void buildTrack(TrackSlot& slot, const Events& events);
Events trackEvents(const TrackSlot& slot);

// The shared sample files (name, bytes); none when the folder is absent.
std::vector<std::pair<std::string, std::vector<uint8_t>>> sampleMidiFiles();

// Loads and saves `data`, then that output: "" when it reads back without a damage line and saves
// to the same bytes. Leaves testSong as read from the output.
std::string fixedPointProblem(const uint8_t* data, size_t size);
