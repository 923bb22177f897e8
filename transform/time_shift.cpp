#include "transform/time_shift.h"

#include <algorithm>
#include <cstdlib>

#include "song/song.h"

namespace {

// Note Off (0x8n), Note On (0x9n), and events stored under running status
// (the stored byte is a data byte, below 0x80) are the ones that move. An
// event with delta time 0 sits on the tick of the event before it (the
// further notes of a chord) and moves with it; so does everything that
// carries its own status byte from 0xA0 up: controllers, program changes,
// pressure, bends, system exclusive and meta events.
bool isEligible(const MidiEvent& event) { return event.status < 0xA0 && event.deltaTime != 0; }

// Moves one eligible event: settles the carry against its delta time, then
// applies one draw of jitter. `carry` is the displacement of the chain
// before the event on entry and after it on return.
void shiftEvent(MidiEvent& event, int64_t& carry, int32_t amount, RandomSource& random) {
  // Settle: put the event back where it was before the walk, as far as a
  // delta time allows. It cannot go below 0 (the event would pass the one
  // before it), nor above kMaxDeltaTime (a Standard MIDI File writes delta
  // times in at most four bytes). What is left over stays in the residue:
  // positive when the event still lies late, negative when it still lies
  // early.
  int64_t d = event.deltaTime;
  int64_t residue = 0;
  if (carry > 0 && carry >= d) {
    residue = carry - d;
    d = 0;
  } else {
    d -= carry;
    // Only a negative carry lengthens the delta, and never past the limit;
    // a delta that already lies above it (only a damaged file has one) is
    // not made longer. What the limit holds back stays in the residue.
    const int64_t limit = std::max<int64_t>(event.deltaTime, kMaxDeltaTime);
    residue = std::min<int64_t>(limit - d, 0);
    d = std::min(d, limit);
  }

  // Jitter. A jitter that cannot be applied whole is dropped, not clamped:
  // a negative one that would leave the delta at 0 or below, a positive one
  // that would push it past kMaxDeltaTime, and a positive one on an event
  // that still lies late. On a dense track late jitters would otherwise
  // pile up and the song drift away; dropping them keeps the carry, and so
  // every event, within -A .. A - 1 ticks of its place. The same holds the
  // other way round for an event that the delta-time limit keeps early: a
  // negative jitter that would take it more than A ticks early is dropped.
  // The draw is spent either way: every eligible event takes exactly one, so
  // later draws do not depend on how earlier jitters turned out.
  const int64_t jitter = drawAround(random, amount);
  const bool fits = jitter > 0 ? residue <= 0 && d + jitter <= kMaxDeltaTime
                               : d > -jitter && residue + jitter >= -amount;
  if (fits) {
    d += jitter;
    carry = residue + jitter;
  } else {
    carry = residue;
  }
  event.deltaTime = static_cast<uint32_t>(d);
}

}  // namespace

TimeShiftSummary applyTimeShift(TrackSlot& slot, RandomSource& random) {
  const int32_t amount = slot.timeShift;
  // How many ticks the chain at the current point lies later than before the
  // walk (negative: earlier). Kept in 64 bits, as the settle step's limit
  // arithmetic runs past 32.
  int64_t carry = 0;
  TimeShiftSummary summary;
  for (MidiEvent* event = slot.head.next; event != nullptr; event = event->next) {
    if (isEligible(*event)) shiftEvent(*event, carry, amount, random);
    // An event that draws nothing still moves with the one before it.
    if (carry != 0) {
      ++summary.eventsMoved;
      summary.largestMove = std::max(summary.largestMove, std::abs(carry));
    }
  }
  return summary;
}
