// Loading a song from a file and saving it, with the log lines the user
// sees, the same for the window and the command-line tool:
//   load: the path as given, then "File open error!", "File read error!" or
//         "Read %d bytes" followed by the reader's own lines;
//   save: "File saved", "File save error!" or "File create error!", then
//         "Saved %d bytes" (what the system reported written; 0 when no file
//         could be made or put in the target's place).
// Each returns the outcome with the system's reason, for a front end that
// reports it further (the tool prints it on standard error).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/file_io.h"

struct Song;

// Reads `path` and, once read, replaces `song` (deleting the old one) with
// the song it holds, so that a failure leaves the song as it was. The log
// shows the path as given. With `bytesRead`, a song read hands over the
// file's bytes there too (the window makes each take from them); a failure
// leaves it as it was.
ReadResult loadSongAt(const NativeString& path, ReadSharing sharing, Song*& song,
                      std::vector<uint8_t>* bytesRead = nullptr);

// The same from standard input; the log shows "-" for the path.
ReadResult loadSongFromStandardInput(Song*& song);

// Writes `song` to `path` with saveFileReplacing, or to standard output.
SaveResult saveSongAt(const Song& song, const NativeString& path);
SaveResult saveSongToStandardOutput(const Song& song);
