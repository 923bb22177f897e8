// Reads the byte image of a Standard MIDI File into a Song.
//
// The MIDI data is the whole image, or the "data" chunk of a RIFF MIDI file;
// its header is the first "MThd" in it. An image without one is no MIDI file.
//
// parseSong only looks at bytes in [image, image + size): any input, however
// damaged, gives a Song whose chains end with an End of Track event and a
// null next, and whose extra blocks match their dataLength. Track chunks are
// found by their tag; a chunk of another kind that stands where a chunk
// should begin is passed over whole, whatever it holds. Every complete event
// is kept as it stands, whatever its values; a track ends early only where
// reading cannot go on (the image ends inside an event, a quantity runs past
// four bytes, an undefined status F4, F5, F9 or FD, an event runs past its
// chunk's length where the next chunk's tag stands), at its last complete
// event. The first kMaxTracks tracks fill the slots (trackCount); the rest go
// to extraTracks. `song` must be freshly constructed.
// Logs "PPQN=%d" and "Loaded %d tracks", then one line for each damaged
// track and one when the file holds more than 16 tracks (and one before
// those when the file is wrapped in RIFF). Everything outside the tracks'
// events (and the bytes of a chunk after its last event read) goes to the
// Song's pieces, so that the writer can put it back. Without a MIDI header
// it logs "No MIDI header in the file", reads nothing and returns false.
#pragma once

#include <cstdint>
#include <memory>

struct Song;

bool parseSong(Song& song, const uint8_t* image, int32_t size);

// True when the image holds a MIDI header that parseSong would read.
bool findMidiHeader(const uint8_t* image, int32_t size);

// What Load does with a file's bytes: when the image holds a MIDI header, a
// fresh Song read from it. Otherwise it logs "No MIDI header in the file" and
// returns null, so that the caller keeps the song it had.
std::unique_ptr<Song> loadSongImage(const uint8_t* image, int32_t size);
