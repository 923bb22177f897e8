// Reads the byte image of a Standard MIDI File into currentSong.
//
// parseSong only looks at bytes in [image, image + size): any input, however
// damaged, gives a Song whose chains end with an End of Track event and a
// null next, whose extra blocks match their dataLength and whose trackCount
// is at most kMaxTracks. A track that breaks off (image end, a byte that
// cannot stand where it stands, a quantity longer than four bytes) ends at
// its last complete event. currentSong must point to a freshly constructed
// Song. Logs "PPQN=%d" and "Loaded %d tracks", then one line for each track
// that was damaged and one when the file holds more than 16 tracks.
#pragma once

#include <cstdint>

void parseSong(const uint8_t* image, int32_t size);
