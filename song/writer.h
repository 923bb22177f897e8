// Turns currentSong into a complete Standard MIDI File image.
//
// serializeSong sizes the image from the Song first, allocates it with
// new[] and hands it over through `image` (the caller delete[]s it); the
// result is the image length in bytes, at least 14. currentSong must not be
// null and is not changed.
#pragma once

#include <cstdint>

int32_t serializeSong(uint8_t*& image);
