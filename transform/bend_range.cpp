#include "transform/bend_range.h"

#include <algorithm>

#include "song/midi.h"
#include "song/song.h"
#include "song/song_tracks.h"

namespace {

// What a track has selected and entered on one channel so far. 127/127 is
// the null parameter: nothing selected.
struct ParameterState {
  uint8_t msb = 127;
  uint8_t lsb = 127;
  int32_t semitones = 2;
  int32_t cents = 0;
};

}  // namespace

BendRanges buildBendRanges(const Song& song) {
  BendRanges ranges;
  for (int32_t t = 0; t < allTrackCount(song); ++t) {
    ParameterState state[kChannelCount];
    uint8_t running = 0;
    int64_t tick = 0;
    for (const MidiEvent* e = &trackAt(song, t).head; e != nullptr; e = e->next) {
      tick += e->deltaTime;
      const ChannelMessage m = readChannelMessage(*e, running);
      if (!m.isChannel || messageKind(m.status) != kControlChange) continue;
      ParameterState& s = state[channelOf(m.status)];
      // Data Entry sets one half of the range; the other keeps its value, as
      // a receiver does. A non-registered parameter (99, 98) takes over Data
      // Entry until a registered one is selected again.
      if (m.data1 == 101) s.msb = m.data2;
      if (m.data1 == 100) s.lsb = m.data2;
      if (m.data1 == 99 || m.data1 == 98) s.msb = s.lsb = 127;
      if ((m.data1 == 6 || m.data1 == 38) && s.msb == 0 && s.lsb == 0) {
        (m.data1 == 6 ? s.semitones : s.cents) = m.data2;
        ranges.changes[channelOf(m.status)].push_back({tick, s.semitones * 100 + s.cents});
      }
    }
  }
  for (auto& list : ranges.changes) {
    std::stable_sort(
        list.begin(), list.end(),
        [](const BendRangeChange& a, const BendRangeChange& b) { return a.tick < b.tick; });
  }
  return ranges;
}

int32_t bendRangeAt(const BendRanges& ranges, int channel, int64_t tick) {
  const auto& list = ranges.changes[channel];
  auto after = std::upper_bound(list.begin(), list.end(), tick,
                                [](int64_t t, const BendRangeChange& c) { return t < c.tick; });
  return after == list.begin() ? kDefaultBendRangeCents : (after - 1)->cents;
}
