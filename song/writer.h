// Turns a Song into a complete Standard MIDI File image.
//
// serializeSong writes the image in one walk over the events into one
// buffer from poolMemory (huge pages where the program asks for them, like
// the events), sized from the file the Song was read from (it grows only
// when presses lengthened the song beyond that; the bytes past the image are
// left as they are), and hands it over through `image` (the caller frees it
// with releaseImage); the result is the image length in bytes. An image that
// would exceed INT32_MAX bytes is not built: the result is -1 and `image` is
// null. `song` is not changed.
//
// A song read from a file is written piece by piece as read (its header, the
// bytes outside its tracks, a RIFF wrapper), each track chunk with its new
// events and length, each RIFF size and pad byte made right for what it
// holds. Any other song is written as a 14-byte header and slots 0 to
// trackCount - 1, then extraTracks. The header counts the tracks written as
// a 16-bit number.
//
// A delta time above 0x0FFFFFFF, the largest four-byte quantity, is written
// as 0x0FFFFFFF: no quantity is ever longer than four bytes.
#pragma once

#include <cstdint>

struct Song;

int32_t serializeSong(const Song& song, uint8_t*& image);

// Frees an image serializeSong handed over; null is ignored.
void releaseImage(uint8_t* image);

// Writes `value` (clamped to 0x0FFFFFFF) as a variable-length quantity of
// one to four bytes at `position`; returns the position after it.
uint8_t* encodeVarLen(uint32_t value, uint8_t* position);

// The number of bytes encodeVarLen writes for `value`.
int varLenSize(uint32_t value);
