// The Transform and Undo commands, and what a load starts them from.
//
// Every press first keeps the song as it was, with the amounts in force, so
// that Undo can bring both back, press by press, as far back as the load
// (within app.history's budget; the log says when the oldest state goes).
// In the classic style a press works on the current song, so presses
// accumulate, and logs only its per-track lines. In the musical style each
// press is a new take: the file as loaded, read again, pressed once with a
// newly drawn seed, logged as "Seed N" and the tool's summary lines; the
// tool given the same seed and amounts makes the same bytes.
#pragma once

#include <cstdint>
#include <vector>

// A song was loaded from `bytes`: the takes start from them, nothing can be
// undone, and every amount is 0.
void startHistory(std::vector<uint8_t> bytes);

void transformSong();  // does nothing without a song
void undoPress();      // does nothing when there is nothing to undo
