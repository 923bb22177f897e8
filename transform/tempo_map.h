// Ticks to time and back, for amounts given in milliseconds.
//
// buildTempoMap reads the Set Tempo meta events of every track (a tempo
// holds for the whole file whichever track carries it), from 500,000
// microseconds per quarter note until the first. A division with its top
// bit set counts frames and ticks per frame: ticks are then already time,
// and tempo events do not change it. A division of 0 gives a map on which
// no tick has a length (every conversion stays on its tick).
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

struct Song;

struct TempoSegment {
  int64_t tick{};   // where the segment starts
  double micros{};  // the time at that tick
  double microsPerTick{};
};

struct TempoMap {
  std::vector<TempoSegment> segments;  // by tick, the first at tick 0
};

struct MidiEvent;

struct TempoChange {
  int64_t tick;
  uint32_t microsPerQuarter;
};

// The tempo a Set Tempo event sets, in microseconds per quarter note; none
// (0) for any other event, or for a tempo of 0, which has no meaning: the
// last good one holds.
uint32_t tempoOf(const MidiEvent& event);

// The map of a song of that division from the changes of its tracks, one
// track's after another's: of two changes on one tick, the later holds.
TempoMap tempoMapOf(int32_t division, std::vector<TempoChange> changes);
TempoMap buildTempoMap(const Song& song);

// Inline: the musical press asks it for every onset and every moved note.
inline double microsAtTick(const TempoMap& map, double tick) {
  auto after = std::upper_bound(map.segments.begin(), map.segments.end(), tick,
                                [](double t, const TempoSegment& s) { return t < s.tick; });
  const TempoSegment& s = after == map.segments.begin() ? *after : *(after - 1);
  return s.micros + (tick - static_cast<double>(s.tick)) * s.microsPerTick;
}

// The (fractional) tick at a time; before 0 it extends the first segment.
double tickAtMicros(const TempoMap& map, double micros);
