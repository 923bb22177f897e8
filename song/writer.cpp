#include "song/writer.h"

#include <cassert>
#include <cstddef>
#include <limits>
#include <vector>

#include "song/song.h"

namespace {

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

uint8_t* writeTag(const char tag[4], uint8_t* out) {
  for (int i = 0; i < 4; ++i) *out++ = static_cast<uint8_t>(tag[i]);
  return out;
}

uint8_t* writeBigEndian16(uint16_t value, uint8_t* out) {
  *out++ = static_cast<uint8_t>(value >> 8);
  *out++ = static_cast<uint8_t>(value);
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
  const int shown =
      song.trackCount < 0 ? 0 : (song.trackCount > kMaxTracks ? kMaxTracks : song.trackCount);
  // The first `shown` slots, then the tracks kept past them, in file order.
  std::vector<const TrackSlot*> tracks;
  for (int t = 0; t < shown; ++t) tracks.push_back(&song.tracks[t]);
  for (const TrackSlot& slot : song.extraTracks) tracks.push_back(&slot);

  // Size first, so that the buffer fits whatever the Song holds.
  std::vector<int64_t> trackSizes;
  int64_t total = kFileHeaderSize;
  for (const TrackSlot* slot : tracks) {
    trackSizes.push_back(trackDataSize(*slot));
    total += kChunkHeaderSize + trackSizes.back();
    if (total > std::numeric_limits<int32_t>::max()) {
      image = nullptr;
      return -1;
    }
  }

  image = new uint8_t[static_cast<size_t>(total)];
  uint8_t* out = image;

  // Header: length 6; the format as a 16-bit word whose high byte is always
  // 0; the number of tracks written, 16 bits (a count beyond them cannot be
  // said, and is held at the largest); the division big-endian.
  const size_t count = tracks.size() < 0xFFFF ? tracks.size() : 0xFFFF;
  out = writeTag("MThd", out);
  out = writeBigEndian32(6, out);
  out = writeBigEndian16(song.formatByte, out);
  out = writeBigEndian16(static_cast<uint16_t>(count), out);
  out = writeBigEndian16(static_cast<uint16_t>(song.division), out);

  for (size_t t = 0; t < tracks.size(); ++t) {
    out = writeTag("MTrk", out);
    out = writeBigEndian32(static_cast<uint32_t>(trackSizes[t]), out);
    for (const MidiEvent* event = &tracks[t]->head; event != nullptr; event = event->next) {
      out = writeEvent(*event, out);
    }
  }

  assert(out - image == total);
  return static_cast<int32_t>(total);
}
