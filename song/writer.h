// Turns currentSong into a complete Standard MIDI File image.
//
// serializeSong sizes the image from the Song first, allocates exactly that
// many bytes with new[] and hands them over through `image` (the caller
// delete[]s it); the result is the image length in bytes, at least 14. An
// image that would exceed INT32_MAX bytes is not built: the result is -1 and
// `image` stays null. currentSong must not be null and is not changed.
// The tracks written are slots 0 to trackCount - 1, then extraTracks, in
// that order; the header counts them all as a 16-bit number.
//
// A delta time above 0x0FFFFFFF, the largest four-byte quantity, is written
// as 0x0FFFFFFF: no quantity is ever longer than four bytes.
#pragma once

#include <cstdint>

int32_t serializeSong(uint8_t*& image);

// Writes `value` (clamped to 0x0FFFFFFF) as a variable-length quantity of
// one to four bytes at `position`; returns the position after it.
uint8_t* encodeVarLen(uint32_t value, uint8_t* position);

// The number of bytes encodeVarLen writes for `value`.
int varLenSize(uint32_t value);
