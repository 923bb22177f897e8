#include "song/writer.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <vector>

#include "song/song.h"
#include "song/song_tracks.h"

namespace {

// Bytes that follow the status byte: data1, data2, then extra (never
// negative: every event is made with its length).
size_t bytesAfterStatus(const MidiEvent& event) { return static_cast<size_t>(event.dataLength); }

uint8_t* writeEvent(const MidiEvent& event, uint8_t* out) {
  // Most delta times take one byte: that case needs no encoder.
  if (event.deltaTime < 0x80) {
    *out++ = static_cast<uint8_t>(event.deltaTime);
  } else {
    out = encodeVarLen(event.deltaTime, out);
  }
  // The status byte goes out as stored, also a data byte kept under running
  // status; the bytes after it as dataLength says.
  *out++ = event.status;
  if (event.dataLength > 0) *out++ = event.data1;
  if (event.dataLength > 1) *out++ = event.data2;
  for (int32_t i = 2; i < event.dataLength; ++i) *out++ = event.extra[i - 2];
  return out;
}

uint8_t* writeTag(const char* tag, uint8_t* out) {
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
  value = std::min(value, kMaxDeltaTime);
  // Most significant group first; bit 7 marks every byte but the last.
  int count = varLenSize(value);
  for (int i = count - 1; i > 0; --i) {
    *position++ = static_cast<uint8_t>(0x80 | ((value >> (7 * i)) & 0x7F));
  }
  *position++ = static_cast<uint8_t>(value & 0x7F);
  return position;
}

namespace {

// The pieces of a song that was not read from a file: a header of its own,
// then the first trackCount slots and the tracks kept past them.
std::vector<FilePiece> defaultPieces(const Song& song) {
  std::vector<FilePiece> pieces(1);
  pieces[0].kind = PieceKind::kHeader;
  pieces[0].bytes.resize(kFileHeaderSize);
  uint8_t* out = writeTag("MThd", pieces[0].bytes.data());
  out = writeBigEndian32(6, out);
  // The format as a 16-bit word whose high byte is 0; the track count is
  // filled in as the tracks are written.
  out = writeBigEndian16(song.formatByte, out);
  out = writeBigEndian16(0, out);
  writeBigEndian16(static_cast<uint16_t>(song.division), out);
  const int shown =
      song.trackCount < 0 ? 0 : (song.trackCount > kMaxTracks ? kMaxTracks : song.trackCount);
  const size_t count = static_cast<size_t>(shown) + song.extraTracks.size();
  for (size_t t = 0; t < count; ++t) {
    FilePiece& piece = pieces.emplace_back();
    piece.kind = PieceKind::kTrack;
    piece.index =
        static_cast<uint32_t>(t < static_cast<size_t>(shown) ? t : kMaxTracks + t - shown);
  }
  return pieces;
}

constexpr size_t kMaxImage = static_cast<size_t>(std::numeric_limits<int32_t>::max());

// The image as it is written: one buffer, which grows (by a copy) only when
// the song has become longer than its first size foresaw.
struct Output {
  uint8_t* data = nullptr;
  size_t capacity = 0;
  size_t size = 0;
  bool tooLarge = false;  // the image would pass kMaxImage: nothing more is written
};

// Makes room for `more` bytes after `size`; false (and tooLarge) when the
// image would pass kMaxImage.
bool makeRoom(Output& out, size_t more) {
  if (out.capacity - out.size >= more) return true;
  if (more > kMaxImage - out.size) {
    out.tooLarge = true;
    return false;
  }
  size_t capacity = out.capacity + out.capacity / 2;
  if (capacity < out.size + more) capacity = out.size + more;
  if (capacity > kMaxImage) capacity = kMaxImage;
  auto* data = static_cast<uint8_t*>(poolMemory.allocate(capacity));
  std::copy(out.data, out.data + out.size, data);
  releaseImage(out.data);
  out.data = data;
  out.capacity = capacity;
  return true;
}

void writeBytes(Output& out, const std::vector<uint8_t>& bytes) {
  if (makeRoom(out, bytes.size())) {
    out.size =
        static_cast<size_t>(std::copy(bytes.begin(), bytes.end(), out.data + out.size) - out.data);
  }
}

// A track chunk: its tag, a length patched in once the events are written
// (the one walk over them learns it), the events, and the bytes the chunk
// held after them.
void writeTrack(Output& out, const TrackSlot& slot, const std::vector<uint8_t>& kept) {
  if (!makeRoom(out, kChunkHeaderSize)) return;
  const size_t chunk = out.size;
  writeTag("MTrk", out.data + chunk);
  out.size += kChunkHeaderSize;
  uint8_t* at = out.data + out.size;
  for (const MidiEvent* event = &slot.head; event != nullptr; event = event->next) {
    // Four bytes of delta time at most, the status byte, the rest.
    const size_t most = 5 + bytesAfterStatus(*event);
    if (static_cast<size_t>(out.data + out.capacity - at) < most) {
      out.size = static_cast<size_t>(at - out.data);
      if (!makeRoom(out, most)) return;
      at = out.data + out.size;
    }
    at = writeEvent(*event, at);
  }
  out.size = static_cast<size_t>(at - out.data);
  writeBytes(out, kept);
  const size_t length = out.size - chunk - kChunkHeaderSize;
  writeBigEndian32(static_cast<uint32_t>(length), out.data + chunk + 4);
}

}  // namespace

void releaseImage(uint8_t* image) {
  if (image != nullptr) poolMemory.release(image, 0);
}

int32_t serializeSong(const Song& song, uint8_t*& image) {
  const std::vector<FilePiece> made =
      song.pieces.empty() ? defaultPieces(song) : std::vector<FilePiece>();
  const std::vector<FilePiece>& pieces = song.pieces.empty() ? made : song.pieces;

  // A first size: the file the song was read from, some room for delta times
  // that presses lengthened, and the most each event made since can take.
  Output out;
  const size_t added = song.events.made - song.eventsRead;
  const uint64_t expected = uint64_t{song.bytesRead} + song.bytesRead / 16 + 64 +
                            (uint64_t{added} + kMaxTracks + song.extraTracks.size()) * 8;
  out.capacity = expected < kMaxImage ? static_cast<size_t>(expected) : kMaxImage;
  out.data = static_cast<uint8_t*>(poolMemory.allocate(out.capacity));

  size_t trackCount = 0;
  for (const FilePiece& piece : pieces) trackCount += piece.kind == PieceKind::kTrack;
  // Where each piece begins, for the RIFF sizes and pad bytes that depend on
  // what was written before them.
  std::vector<size_t> starts(pieces.size());
  for (size_t i = 0; i < pieces.size() && !out.tooLarge; ++i) {
    const FilePiece& piece = pieces[i];
    starts[i] = out.size;
    switch (piece.kind) {
      case PieceKind::kBytes:
        writeBytes(out, piece.bytes);
        break;
      case PieceKind::kHeader:
        // Written as read, but for the number of tracks written (16 bits;
        // a count beyond them cannot be said, and is held at the largest).
        writeBytes(out, piece.bytes);
        if (piece.bytes.size() >= 12 && !out.tooLarge) {
          writeBigEndian16(static_cast<uint16_t>(std::min<size_t>(trackCount, 0xFFFF)),
                           out.data + starts[i] + 10);
        }
        break;
      case PieceKind::kTrack:
        writeTrack(out, trackAt(song, static_cast<int32_t>(piece.index)), piece.bytes);
        break;
      case PieceKind::kSize:
        // Known once the pieces it counts are written.
        if (makeRoom(out, 4)) out.size += 4;
        break;
      case PieceKind::kPad: {
        const size_t sized = out.size - starts[piece.index] - 4;
        if (sized % 2 == 1 && piece.padWhenOdd && makeRoom(out, 1)) {
          out.data[out.size++] = 0;
        }
        break;
      }
    }
  }
  if (out.tooLarge) {
    releaseImage(out.data);
    image = nullptr;
    return -1;
  }
  starts.push_back(out.size);  // the end, for a size that counts up to it
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (pieces[i].kind != PieceKind::kSize) continue;
    const size_t value = starts[pieces[i].index] - starts[i] - 4;
    for (int b = 0; b < 4; ++b) out.data[starts[i] + b] = static_cast<uint8_t>(value >> (8 * b));
  }
  image = out.data;
  return static_cast<int32_t>(out.size);
}
