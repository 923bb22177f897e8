#include "transform/tempo_map.h"

#include <algorithm>
#include <utility>

#include "song/midi.h"
#include "song/song.h"
#include "song/song_tracks.h"

namespace {

constexpr double kDefaultMicrosPerQuarter = 500000.0;

}  // namespace

// FF 51 03 tt tt tt: three bytes.
uint32_t tempoOf(const MidiEvent& event) {
  MetaPayload tempo;
  if (!findMetaPayload(event, kMetaTempo, tempo) || tempo.length != 3) return 0;
  uint32_t microsPerQuarter = 0;
  for (int32_t i = 0; i < 3; ++i)
    microsPerQuarter = (microsPerQuarter << 8) | eventByte(event, tempo.first + i);
  return microsPerQuarter;
}

TempoMap tempoMapOf(int32_t division, std::vector<TempoChange> changes) {
  TempoMap map;
  if ((division & 0x8000) != 0) {
    // Frames per second as a negative byte (29 stands for 29.97 drop-frame),
    // then ticks per frame.
    const int frames = 256 - ((division >> 8) & 0xFF);
    const int ticksPerFrame = division & 0xFF;
    const double perSecond = (frames == 29 ? 29.97 : frames) * ticksPerFrame;
    map.segments.push_back({0, 0.0, perSecond > 0 ? 1e6 / perSecond : 0.0});
    return map;
  }
  // Track order decides between changes on one tick: the later one holds.
  std::stable_sort(changes.begin(), changes.end(),
                   [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
  const double perTick = division > 0 ? 1.0 / division : 0.0;
  map.segments.push_back({0, 0.0, kDefaultMicrosPerQuarter * perTick});
  for (const TempoChange& change : changes) {
    TempoSegment& last = map.segments.back();
    const double micros =
        last.micros + static_cast<double>(change.tick - last.tick) * last.microsPerTick;
    const TempoSegment next = {change.tick, micros, change.microsPerQuarter * perTick};
    if (change.tick == last.tick) {
      last = next;
    } else {
      map.segments.push_back(next);
    }
  }
  return map;
}

TempoMap buildTempoMap(const Song& song) {
  std::vector<TempoChange> changes;
  for (int32_t t = 0; t < allTrackCount(song); ++t) {
    int64_t tick = 0;
    for (const MidiEvent* e = &trackAt(song, t).head; e != nullptr; e = e->next) {
      tick += e->deltaTime;
      if (const uint32_t tempo = tempoOf(*e)) changes.push_back({tick, tempo});
    }
  }
  return tempoMapOf(song.division, std::move(changes));
}

double tickAtMicros(const TempoMap& map, double micros) {
  auto after = std::upper_bound(map.segments.begin(), map.segments.end(), micros,
                                [](double m, const TempoSegment& s) { return m < s.micros; });
  const TempoSegment& s = after == map.segments.begin() ? *after : *(after - 1);
  if (s.microsPerTick <= 0) return static_cast<double>(s.tick);
  return static_cast<double>(s.tick) + (micros - s.micros) / s.microsPerTick;
}
