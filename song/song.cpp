#include "song/song.h"

Song* currentSong = nullptr;

MidiEvent::~MidiEvent() {
  if (dataLength > 2) delete[] extra;
}

TrackSlot::~TrackSlot() {
  // Iterative on purpose: a recursive teardown of a chain of a million
  // events would exhaust the stack.
  MidiEvent* event = head.next;
  while (event != nullptr) {
    MidiEvent* following = event->next;
    delete event;
    event = following;
  }
  head.next = nullptr;
}

Song* replaceCurrentSong() {
  delete currentSong;
  currentSong = new Song;
  return currentSong;
}
