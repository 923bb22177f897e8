#include "song/writer.h"

#include <cassert>
#include <cstddef>
#include <limits>

#include "song/song.h"

namespace {

constexpr int64_t kHeaderSize = 14;
constexpr int64_t kChunkHeaderSize = 8;

// Bytes that follow the status byte: data1, data2, then extra.
int64_t bytesAfterStatus(const MidiEvent& event) {
  return event.dataLength > 0 ? event.dataLength : 0;
}

int64_t eventSize(const MidiEvent& event) {
  return varLenSize(event.deltaTime) + 1 + bytesAfterStatus(event);
}

int64_t trackDataSize(const TrackSlot& slot) {
  int64_t total = 0;
  for (const MidiEvent* event = &slot.head; event != nullptr; event = event->next) {
    total += eventSize(*event);
  }
  return total;
}

uint8_t* writeEvent(const MidiEvent& event, uint8_t* out) {
  out = encodeVarLen(event.deltaTime, out);
  // The status byte goes out as stored, also a data byte kept under running
  // status; the bytes after it as dataLength says.
  *out++ = event.status;
  if (event.dataLength > 0) *out++ = event.data1;
  if (event.dataLength > 1) *out++ = event.data2;
  for (int32_t i = 2; i < event.dataLength; ++i) *out++ = event.extra[i - 2];
  return out;
}

uint8_t* writeBigEndian32(uint32_t value, uint8_t* out) {
  *out++ = static_cast<uint8_t>(value >> 24);
  *out++ = static_cast<uint8_t>(value >> 16);
  *out++ = static_cast<uint8_t>(value >> 8);
  *out++ = static_cast<uint8_t>(value);
  return out;
}

}  // namespace

int varLenSize(uint32_t value) {
  if (value < (1u << 7)) return 1;
  if (value < (1u << 14)) return 2;
  if (value < (1u << 21)) return 3;
  return 4;
}

uint8_t* encodeVarLen(uint32_t value, uint8_t* position) {
  // A delta time that a transform pushed beyond the format's range is held
  // at its largest value rather than written in five bytes.
  if (value > kMaxDeltaTime) value = kMaxDeltaTime;
  // Most significant group first; bit 7 marks every byte but the last.
  int count = varLenSize(value);
  for (int i = count - 1; i > 0; --i) {
    *position++ = static_cast<uint8_t>(0x80 | ((value >> (7 * i)) & 0x7F));
  }
  *position++ = static_cast<uint8_t>(value & 0x7F);
  return position;
}

int32_t serializeSong(uint8_t*& image) {
  const Song& song = *currentSong;
  const int tracks = song.trackCount < 0 ? 0 : (song.trackCount > kMaxTracks ? kMaxTracks : song.trackCount);

  // Size first, so that the buffer fits whatever the Song holds.
  int64_t trackSizes[kMaxTracks] = {};
  int64_t total = kHeaderSize;
  for (int t = 0; t < tracks; ++t) {
    trackSizes[t] = trackDataSize(song.tracks[t]);
    total += kChunkHeaderSize + trackSizes[t];
    if (total > std::numeric_limits<int32_t>::max()) {
      image = nullptr;
      return -1;
    }
  }

  image = new uint8_t[static_cast<size_t>(total)];
  uint8_t* out = image;

  // Header: length 6; format and track count as 16-bit words whose high
  // byte is always 0; the division big-endian.
  const uint8_t header[kHeaderSize] = {
      'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, song.formatByte, 0,
      static_cast<uint8_t>(song.trackCount),
      static_cast<uint8_t>((song.division / 256) & 0xFF),
      static_cast<uint8_t>(song.division & 0xFF)};
  for (uint8_t byte : header) *out++ = byte;

  for (int t = 0; t < tracks; ++t) {
    *out++ = 'M';
    *out++ = 'T';
    *out++ = 'r';
    *out++ = 'k';
    out = writeBigEndian32(static_cast<uint32_t>(trackSizes[t]), out);
    for (const MidiEvent* event = &song.tracks[t].head; event != nullptr; event = event->next) {
      out = writeEvent(*event, out);
    }
  }

  assert(out - image == total);
  return static_cast<int32_t>(total);
}
