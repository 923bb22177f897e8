#include "transform/velocity_shift.h"

#include <algorithm>
#include <cmath>

#include "song/midi.h"
#include "song/song.h"

int32_t applyVelocityShift(TrackSlot& slot, int32_t amount, MusicalRandom& random) {
  int32_t changed = 0;
  uint8_t running = 0;
  for (MidiEvent* e = &slot.head; e != nullptr; e = e->next) {
    const ChannelMessage m = readChannelMessage(*e, running);
    if (!isNoteStart(m) || m.data2 > 127) continue;
    // With its own status byte the velocity is data2; under running status
    // the key sits in `status` and the velocity in data1.
    uint8_t& velocity = e->status >= 0x80 ? e->data2 : e->data1;
    const long move = std::lround(amount * bellDraw(random));
    const long shifted = std::clamp(velocity + move, 1L, 127L);
    if (shifted != velocity) ++changed;
    velocity = static_cast<uint8_t>(shifted);
  }
  return changed;
}
