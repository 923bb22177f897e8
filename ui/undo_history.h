// What Undo can go back to: the states of the song before each press since
// it was loaded, newest last, each as the file image the song would be saved
// as and the amounts the user had set. Pure bookkeeping, no window.
//
// The images together stay within a budget of bytes: keeping a state that
// passes it drops the oldest states first, but never the newest, so that
// the last press can always be undone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "ui/track_settings.h"

struct UndoState {
  std::vector<uint8_t> image;
  SongSettings settings;
};

struct UndoHistory {
  size_t budgetBytes = 0;
  std::deque<UndoState> states;
  size_t bytes = 0;  // of the images kept
};

// Keeps `state` as the newest; returns how many of the oldest it dropped.
int32_t rememberState(UndoHistory& history, UndoState state);

// Takes out the newest state. Precondition: there is one.
UndoState takeNewestState(UndoHistory& history);

void clearHistory(UndoHistory& history);
