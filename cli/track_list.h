// The --list lines: one per track of `song`, the kept tracks after the
// 16th included, each "Track N "name": channels 1, 10; K notes", logged with
// appendLog. A name is the track's first track-name meta event, read as
// UTF-8 when its bytes are valid UTF-8 and as Latin-1 otherwise, control
// characters shown as '?', cut after 60 units. A note is a note-on with a
// velocity above 0, running status included.
#pragma once

struct Song;

void listTracks(const Song& song);
