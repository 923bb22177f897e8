// Reads the byte image of a Standard MIDI File into currentSong.
//
// parseSong only looks at bytes in [image, image + size): any input, however
// damaged, gives a Song whose chains end with an End of Track event and a
// null next, and whose extra blocks match their dataLength. Every complete
// event is kept as it stands, whatever its values; a track ends early only
// where reading cannot go on (the image ends inside an event, a quantity
// runs past four bytes, an undefined status F4, F5, F9 or FD, an event runs
// into the next chunk whose tag stands where this one's length says it
// ends), at its last complete event. The first kMaxTracks tracks fill the slots (trackCount);
// the rest go to extraTracks. currentSong must point to a freshly
// constructed Song. Logs "PPQN=%d" and "Loaded %d tracks", then one line for
// each damaged track and one when the file holds more than 16 tracks.
#pragma once

#include <cstdint>

void parseSong(const uint8_t* image, int32_t size);
