#include "ui/undo_history.h"

#include <utility>

int32_t rememberState(UndoHistory& history, UndoState state) {
  history.bytes += state.image.size();
  history.states.push_back(std::move(state));
  int32_t dropped = 0;
  while (history.bytes > history.budgetBytes && history.states.size() > 1) {
    history.bytes -= history.states.front().image.size();
    history.states.pop_front();
    ++dropped;
  }
  return dropped;
}

UndoState takeNewestState(UndoHistory& history) {
  UndoState state = std::move(history.states.back());
  history.states.pop_back();
  history.bytes -= state.image.size();
  return state;
}

void clearHistory(UndoHistory& history) {
  history.states.clear();
  history.bytes = 0;
}
