// Reads the byte image of a Standard MIDI File into currentSong.
//
// parseSong only looks at bytes in [image, image + size): any input, however
// damaged, gives a Song whose chains end with a null next, whose extra
// blocks match their dataLength and whose trackCount is at most kMaxTracks.
// currentSong must point to a freshly constructed Song. Logs "PPQN=%d" and
// "Loaded %d tracks" (and a line for each kind of damage it met).
#pragma once

#include <cstdint>

void parseSong(const uint8_t* image, int32_t size);
