#include "transform/bend_range.h"

#include <algorithm>

#include "song/midi.h"

void BendRangeReader::readControl(const ChannelMessage& m, int64_t tick, BendRanges& ranges) {
  ParameterState& s = state_[channelOf(m.status)];
  // Data Entry sets one half of the range; the other keeps its value, as a
  // receiver does. A non-registered parameter (99, 98) takes over Data
  // Entry until a registered one is selected again.
  if (m.data1 == 101) s.msb = m.data2;
  if (m.data1 == 100) s.lsb = m.data2;
  if (m.data1 == 99 || m.data1 == 98) s.msb = s.lsb = 127;
  if ((m.data1 == 6 || m.data1 == 38) && s.msb == 0 && s.lsb == 0) {
    (m.data1 == 6 ? s.semitones : s.cents) = m.data2;
    ranges.changes[channelOf(m.status)].push_back({tick, s.semitones * 100 + s.cents});
  }
}

void sortBendRanges(BendRanges& ranges) {
  for (auto& list : ranges.changes) {
    std::stable_sort(
        list.begin(), list.end(),
        [](const BendRangeChange& a, const BendRangeChange& b) { return a.tick < b.tick; });
  }
}

int32_t bendRangeAt(const BendRanges& ranges, int channel, int64_t tick) {
  const auto& list = ranges.changes[channel];
  auto after = std::upper_bound(list.begin(), list.end(), tick,
                                [](int64_t t, const BendRangeChange& c) { return t < c.tick; });
  return after == list.begin() ? kDefaultBendRangeCents : (after - 1)->cents;
}
