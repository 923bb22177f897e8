#include "transform/pitch_shift.h"

#include "song/midi.h"
#include "song/song.h"

namespace {

constexpr uint8_t kPitchBendCentre = 64;

}  // namespace

void expandRunningStatus(TrackSlot& slot) {
  // The reader keeps the status of the last channel message in force across
  // system exclusive and meta events, and so must the expansion: otherwise a
  // data byte could be given a meta or sysex status byte.
  uint8_t preceding = isChannelStatus(slot.head.status) ? slot.head.status : 0;
  for (MidiEvent* event = slot.head.next; event != nullptr; event = event->next) {
    if (event->status >= 0x80) {
      if (isChannelStatus(event->status)) preceding = event->status;
      continue;
    }
    // No channel message before it: there is no status to give, and a byte
    // that cannot be placed is better kept as read than invented.
    if (preceding == 0) continue;
    // Two-data-byte form: stored status = first data byte, data1 = second.
    // One-data-byte form (after a program change or channel pressure): the
    // stored status is the only data byte.
    if (event->dataLength == 0) {
      event->data1 = event->status;
      event->dataLength = 1;
    } else {
      event->data2 = event->data1;
      event->data1 = event->status;
      event->dataLength = 2;
    }
    event->status = preceding;
  }
}

int32_t insertPitchBends(Song& song, TrackSlot& slot, RandomSource& random) {
  const int32_t amount = slot.pitchShift;
  int32_t inserted = 0;
  // `prev` walks the original events only, so an inserted bend is never
  // examined again. The head cannot get a bend: nothing goes before it.
  MidiEvent* prev = &slot.head;
  for (MidiEvent* note = prev->next; note != nullptr; prev = note, note = note->next) {
    // Note On on any channel, velocity 0 included.
    if (messageKind(note->status) != kNoteOn) continue;
    const int32_t bend = drawAround(random, amount) + kPitchBendCentre;
    // A high byte of 0 (a full bend down, drawn only at amount 64) is left
    // out; 64 still inserts a bend back to the centre.
    if (bend == 0) continue;
    MidiEvent* pitchBend = newEvent(song);
    pitchBend->dataLength = 2;
    // The bend sounds on the note's own tick: it takes over the note's delta
    // time and the note follows it at once.
    pitchBend->deltaTime = note->deltaTime;
    pitchBend->status = static_cast<uint8_t>(kPitchBend | channelOf(note->status));
    // 14-bit value sent low 7 bits first: only the coarse byte is random.
    pitchBend->data1 = 0;
    pitchBend->data2 = static_cast<uint8_t>(bend);
    pitchBend->next = note;
    note->deltaTime = 0;
    prev->next = pitchBend;
    ++inserted;
  }
  return inserted;
}

int32_t applyPitchShift(Song& song, TrackSlot& slot, RandomSource& random) {
  // Expand first, over the whole track: once a bend sits between two events
  // the second can no longer lean on the status of the first, and a Note On
  // under running status must show its 0x9n to get a bend.
  expandRunningStatus(slot);
  return insertPitchBends(song, slot, random);
}
