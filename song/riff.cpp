#include "song/riff.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "song/byte_cursor.h"
#include "song/song.h"

namespace {

// RIFF numbers are little-endian, unlike the MIDI data's.
uint32_t readLittleEndian32(ByteCursor& cursor) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(readByte(cursor)) << (8 * i);
  return value;
}

// A chunk's size counts the bytes after its size field; the cursor, on the
// size field, ends at the chunk's end, or at the image's when it says more.
size_t sizedEnd(ByteCursor cursor) {
  const uint32_t size = readLittleEndian32(cursor);
  skipUpTo(cursor, size);
  return cursor.pos;
}

FilePiece& addPiece(std::vector<FilePiece>& pieces, PieceKind kind) {
  FilePiece& piece = pieces.emplace_back();
  piece.kind = kind;
  return piece;
}

void keepBytes(std::vector<FilePiece>& pieces, const uint8_t* image, size_t from, size_t to) {
  addPiece(pieces, PieceKind::kBytes).bytes.assign(image + from, image + to);
}

}  // namespace

Container findContainer(const uint8_t* image, size_t size) {
  Container container;
  container.end = size;
  if (!startsWithTag(makeCursor(image, size, 0), "RIFF") ||
      !startsWithTag(makeCursor(image, size, 8), "RMID")) {
    return container;
  }
  const size_t riffEnd = sizedEnd(makeCursor(image, size, 4));
  // The chunks after "RMID", each padded to an even size, up to "data".
  ByteCursor chunk = makeCursor(image, riffEnd, 12);
  while (hasBytes(chunk, kChunkHeaderSize)) {
    if (startsWithTag(chunk, "data")) {
      container.wrapped = true;
      container.start = chunk.pos + kChunkHeaderSize;
      container.end = sizedEnd(makeCursor(image, size, chunk.pos + 4));
      // Writers that leave the pad out put the next chunk's tag right after
      // the data; a pad byte is 0. (The data starts at an even place, the
      // chunks before it being padded: an odd end is an odd size.)
      const bool odd = container.end % 2 == 1;
      ByteCursor after = makeCursor(image, riffEnd, container.end);
      container.hasPad = odd && hasBytes(after, 1) && readByte(after) == 0;
      container.oddWithoutPad = odd && !container.hasPad;
      container.riffEnd = std::max(riffEnd, container.end + container.hasPad);
      return container;
    }
    skipBytes(chunk, 4);  // the tag
    const uint32_t chunkSize = readLittleEndian32(chunk);
    skipUpTo(chunk, uint64_t{chunkSize} + chunkSize % 2);
  }
  return container;
}

void wrapPieces(Song& song, const uint8_t* image, size_t size, const Container& container) {
  std::vector<FilePiece> data = std::move(song.pieces);
  std::vector<FilePiece>& pieces = song.pieces;
  pieces.clear();
  // "RIFF", its size, "RMID" and the chunks before "data", the data chunk's
  // tag and size, the MIDI data, a pad byte, the chunks after it (INFO and
  // others), and whatever follows the RIFF.
  keepBytes(pieces, image, 0, 4);
  const size_t riffSize = pieces.size();
  addPiece(pieces, PieceKind::kSize);
  keepBytes(pieces, image, 8, container.start - 4);
  const size_t dataSize = pieces.size();
  addPiece(pieces, PieceKind::kSize);
  for (FilePiece& piece : data) pieces.push_back(std::move(piece));
  pieces[dataSize].index = static_cast<uint32_t>(pieces.size());
  // The pad byte is 0: the writer writes it so when the size is odd.
  FilePiece& pad = addPiece(pieces, PieceKind::kPad);
  pad.index = static_cast<uint32_t>(dataSize);
  pad.padWhenOdd = !container.oddWithoutPad;
  keepBytes(pieces, image, container.end + container.hasPad, container.riffEnd);
  pieces[riffSize].index = static_cast<uint32_t>(pieces.size());
  keepBytes(pieces, image, container.riffEnd, size);
}
