// The RIFF MIDI wrapper: "RIFF", its size, "RMID", then chunks, one of them
// "data" holding a Standard MIDI File.
//
// findContainer only looks at bytes in [image, image + size) and says where
// the MIDI data of an image lies: in the "data" chunk of a RIFF MIDI file
// (cut at the image's end), or in the whole image. wrapPieces turns the
// pieces read from that data into the whole image's: the wrapper's bytes
// around them as they stand, and the RIFF size, the data chunk's size and
// its pad byte as pieces that the writer makes right for what it writes.
#pragma once

#include <cstddef>
#include <cstdint>

struct Song;

struct Container {
  size_t start = 0;  // the MIDI data: [start, end)
  size_t end = 0;
  bool wrapped = false;
  // Set only when wrapped: where the RIFF ends, and whether a pad byte
  // follows the data or an odd size stands without one.
  size_t riffEnd = 0;
  bool hasPad = false;
  bool oddWithoutPad = false;
};

Container findContainer(const uint8_t* image, size_t size);

// `song.pieces` cover the MIDI data of a wrapped `container`; afterwards
// they cover the whole image of `size` bytes.
void wrapPieces(Song& song, const uint8_t* image, size_t size, const Container& container);
