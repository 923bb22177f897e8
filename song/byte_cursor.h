// A read position in a byte image that can never leave it.
//
// Every read checks the bytes left before touching memory; the first read
// that would pass the end returns zeros and clears `ok`, which then stays
// false, so a caller may read a whole record and test `ok` once at the end.
// The checks compare against the bytes left (n > size - pos), never pos + n,
// so no sum can overflow. `pos` never exceeds `size`.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

struct ByteCursor {
  const uint8_t* data;
  size_t size;
  size_t pos;
  bool ok;
};

// A cursor over [data, data + size) placed at `pos`, or at the end when
// `pos` is past it (nothing is left to read there).
inline ByteCursor makeCursor(const uint8_t* data, size_t size, size_t pos) {
  return {data, size, std::min(pos, size), true};
}

inline bool hasBytes(const ByteCursor& cursor, size_t count) {
  return cursor.ok && count <= cursor.size - cursor.pos;
}

inline uint8_t readByte(ByteCursor& cursor) {
  if (!hasBytes(cursor, 1)) {
    cursor.ok = false;
    return 0;
  }
  return cursor.data[cursor.pos++];
}

// True when the four bytes at the position are the four characters of `tag`.
inline bool startsWithTag(const ByteCursor& cursor, const char* tag) {
  if (cursor.size - cursor.pos < 4) return false;
  for (size_t i = 0; i < 4; ++i) {
    if (cursor.data[cursor.pos + i] != static_cast<uint8_t>(tag[i])) return false;
  }
  return true;
}

// Moves `count` bytes on, or clears `ok` when fewer are left.
inline void skipBytes(ByteCursor& cursor, size_t count) {
  if (hasBytes(cursor, count)) {
    cursor.pos += count;
  } else {
    cursor.ok = false;
  }
}

// An unsigned number of `count` bytes (at most four), most significant
// first, as the Standard MIDI File writes its lengths and header fields.
// Bytes past the end read as 0 (and clear `ok`).
inline uint32_t readBigEndian(ByteCursor& cursor, int count) {
  uint32_t value = 0;
  for (int i = 0; i < count; ++i) value = (value << 8) | readByte(cursor);
  return value;
}

// Moves `count` bytes on, or to the end when fewer are left; `ok` stays as
// it is. For a length the file declares, which may run past the image.
inline void skipUpTo(ByteCursor& cursor, uint64_t count) {
  cursor.pos += static_cast<size_t>(std::min<uint64_t>(count, cursor.size - cursor.pos));
}

enum class VarLenRead { kOk, kTruncated, kTooLong };

// A variable-length quantity of at most four bytes (seven bits each, most
// significant first, bit 7 set on all but the last): 0 to 0x0FFFFFFF.
// A fourth byte that still has bit 7 set makes kTooLong; the cursor then
// stands after those four bytes.
inline VarLenRead readVarLen(ByteCursor& cursor, uint32_t& value) {
  value = 0;
  for (int i = 0; i < 4; ++i) {
    uint8_t byte = readByte(cursor);
    if (!cursor.ok) return VarLenRead::kTruncated;
    value = (value << 7) | (byte & 0x7Fu);
    if ((byte & 0x80u) == 0) return VarLenRead::kOk;
  }
  return VarLenRead::kTooLong;
}
