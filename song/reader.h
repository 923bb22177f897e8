// Reads the byte image of a Standard MIDI File into a Song.
//
// loadSongImage only looks at bytes in [image, image + size). The MIDI data
// is the whole image, or the "data" chunk of a RIFF MIDI file; its header is
// the first "MThd" in it. Without one the image is no MIDI file: it logs
// "No MIDI header in the file" and returns null, so that the caller keeps
// the song it had.
//
// Otherwise it returns a fresh Song. Any input, however damaged, gives a
// Song whose chains end with an End of Track event and a null next, and
// whose extra blocks match their dataLength. Track chunks are found by
// their tag; a chunk of another kind that stands where a chunk should begin
// is passed over whole, whatever it holds. Every complete event is kept as
// it stands, whatever its values; a track ends early only where reading
// cannot go on (the image ends inside an event, a quantity runs past four
// bytes, an undefined status F4, F5, F9 or FD, an event runs past its
// chunk's length where the next chunk's tag stands), at its last complete
// event. Past the tracks the header declares, a chunk tagged as a track
// that does not read as events up to an End of Track within its length
// (a data byte with no channel status before it, an undefined status) is
// a sequencer's data: it and all after it are kept as they stand, and no
// track. The first kMaxTracks tracks fill the slots (trackCount); the rest
// go to extraTracks.
//
// Logs "PPQN=%d" and "Loaded %d tracks", then one line for each damaged
// track and one when the file holds more than 16 tracks (and one before
// those when the file is wrapped in RIFF). Everything outside the tracks'
// events (and the bytes of a chunk after its last event read) goes to the
// Song's pieces, so that the writer can put it back.
#pragma once

#include <cstdint>
#include <memory>

struct Song;

std::unique_ptr<Song> loadSongImage(const uint8_t* image, int32_t size);
