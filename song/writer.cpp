#include "song/writer.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <limits>
#include <vector>

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

namespace {

const TrackSlot& trackAt(const Song& song, uint32_t index) {
  return index < kMaxTracks ? song.tracks[index] : song.extraTracks[index - kMaxTracks];
}

// The pieces of a song that was not read from a file: a header of its own,
// then the first trackCount slots and the tracks kept past them.
std::vector<FilePiece> defaultPieces(const Song& song) {
  std::vector<FilePiece> pieces(1);
  pieces[0].kind = PieceKind::kHeader;
  pieces[0].bytes.resize(kHeaderSize);
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
    piece.index = static_cast<uint32_t>(t < static_cast<size_t>(shown) ? t : kMaxTracks + t - shown);
  }
  return pieces;
}

// The most bytes a piece can take: exact but for a pad byte.
int64_t pieceSize(const Song& song, const FilePiece& piece) {
  switch (piece.kind) {
    case PieceKind::kTrack:
      return kChunkHeaderSize + trackDataSize(trackAt(song, piece.index)) +
             static_cast<int64_t>(piece.bytes.size());
    case PieceKind::kSize:
      return 4;
    case PieceKind::kPad:
      return 1;
    default:
      return static_cast<int64_t>(piece.bytes.size());
  }
}

}  // namespace

int32_t serializeSong(uint8_t*& image) {
  const Song& song = *currentSong;
  const std::vector<FilePiece> made = song.pieces.empty() ? defaultPieces(song) : std::vector<FilePiece>();
  const std::vector<FilePiece>& pieces = song.pieces.empty() ? made : song.pieces;

  // Size first, so that the buffer fits whatever the Song holds.
  int64_t total = 0;
  size_t trackCount = 0;
  for (const FilePiece& piece : pieces) {
    total += pieceSize(song, piece);
    trackCount += piece.kind == PieceKind::kTrack;
    if (total > std::numeric_limits<int32_t>::max()) {
      image = nullptr;
      return -1;
    }
  }

  image = new uint8_t[static_cast<size_t>(total)];
  uint8_t* out = image;
  // Where each piece begins, for the RIFF sizes and pad bytes that depend on
  // what was written before them.
  std::vector<uint8_t*> starts(pieces.size() + 1);
  for (size_t i = 0; i < pieces.size(); ++i) {
    const FilePiece& piece = pieces[i];
    starts[i] = out;
    switch (piece.kind) {
      case PieceKind::kBytes:
        out = std::copy(piece.bytes.begin(), piece.bytes.end(), out);
        break;
      case PieceKind::kHeader: {
        // Written as read, but for the number of tracks written (16 bits;
        // a count beyond them cannot be said, and is held at the largest).
        uint8_t* header = out;
        out = std::copy(piece.bytes.begin(), piece.bytes.end(), out);
        if (piece.bytes.size() >= 12) {
          writeBigEndian16(static_cast<uint16_t>(trackCount < 0xFFFF ? trackCount : 0xFFFF),
                           header + 10);
        }
        break;
      }
      case PieceKind::kTrack: {
        uint8_t* chunk = out;
        out = writeTag("MTrk", out) + 4;
        for (const MidiEvent* event = &trackAt(song, piece.index).head; event != nullptr;
             event = event->next) {
          out = writeEvent(*event, out);
        }
        out = std::copy(piece.bytes.begin(), piece.bytes.end(), out);
        writeBigEndian32(static_cast<uint32_t>(out - chunk - kChunkHeaderSize), chunk + 4);
        break;
      }
      case PieceKind::kSize:
        out += 4;  // known once the pieces it counts are written
        break;
      case PieceKind::kPad: {
        const uint8_t* size = starts[piece.index];
        const size_t sized = static_cast<size_t>(out - size - 4);
        if (sized % 2 == 1 && piece.padWhenOdd) *out++ = piece.bytes.empty() ? 0 : piece.bytes[0];
        break;
      }
    }
  }
  starts[pieces.size()] = out;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (pieces[i].kind != PieceKind::kSize) continue;
    const uint32_t value = static_cast<uint32_t>(starts[pieces[i].index] - starts[i] - 4);
    for (int b = 0; b < 4; ++b) starts[i][b] = static_cast<uint8_t>(value >> (8 * b));
  }

  assert(out - image <= total);
  return static_cast<int32_t>(out - image);
}
