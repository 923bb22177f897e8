#include "transform/musical_onsets.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "song/midi.h"
#include "transform/musical_random.h"
#include "transform/tempo_map.h"
#include "transform/work_parts.h"

namespace {

struct StartRef {
  int64_t tick;
  uint32_t track, index;
};

// A tick on a channel, with the gesture that moves it (kNone: none does).
struct Mark {
  int64_t tick;
  int32_t gesture;
  bool operator<(const Mark& other) const { return tick < other.tick; }
};

// Sorts [first, last) stably by `less` where it comes as a few runs already
// in order (a track's, or a channel's): neighbouring runs are merged, which
// takes time linear in the items times the log of the runs, and a single
// pass when they are in order already.
template <class Iterator, class Less>
void mergeRuns(Iterator first, Iterator last, Less less) {
  std::vector<Iterator> runs;  // where each begins, then `last`
  do {
    runs.clear();
    for (Iterator it = first; it != last; ++it) {
      if (it == first || less(*it, *(it - 1))) runs.push_back(it);
    }
    runs.push_back(last);
    for (size_t r = 0; r + 2 < runs.size(); r += 2)
      std::inplace_merge(runs[r], runs[r + 1], runs[r + 2], less);
  } while (runs.size() > 2);
}

using PerChannel = std::array<size_t, kChannelCount>;

struct Gesture {
  int32_t first, last;  // its onsets
  int64_t room;         // the largest move it may make, in ticks
};

// Where a gesture begins: apart from the gestures themselves, whose room
// changes on one core while the lenders are read on another.
struct GestureStart {
  int64_t tick;   // its first onset's
  double micros;  // where that stands in time
};

struct Draw {
  std::vector<TrackWork>& tracks;
  const TempoMap& tempo;
  uint32_t seed;
  PoolVector<Onset> onsets;
  PoolVector<Gesture> gestures;
  PoolVector<GestureStart> starts;  // each gesture's
  // Every channel's barriers and points, stretches of one list (as lists
  // of their own, they would each come in small pages).
  std::unique_ptr<PoolBuffer<Mark>> marks;
  std::span<Mark> barriers[kChannelCount], points[kChannelCount];
  PerChannel firstOnset = {}, onsetsOf = {};  // each channel's onsets, which lie together
  PerChannel firstGesture = {}, gesturesOf = {};  // and its gestures

  // A draw of `x` (-1 to 1) of track t's time amount at `tick`, in ticks.
  double ticksOf(double x, int32_t t, int64_t tick) const {
    const TrackAmounts& a = tracks[t].amounts;
    if (!a.timeInMs || a.time == 0) return x * a.time;
    const double at = microsAtTick(tempo, static_cast<double>(tick));
    const double moved = tickAtMicros(tempo, at + x * a.time * 1000.0) - static_cast<double>(tick);
    return std::clamp(moved, -1e15, 1e15);
  }
  double extent(int32_t t, int64_t tick) const {
    return std::max(std::fabs(ticksOf(1, t, tick)), std::fabs(ticksOf(-1, t, tick)));
  }

  // Each track on its own, on every core.
  void forEachTrack(const std::function<void(size_t)>& work) {
    inParts(
        tracks.size(), [this](size_t t) { return tracks[t].events.size(); },
        [&work](size_t first, size_t last) {
          for (size_t t = first; t < last; ++t) work(t);
        });
  }

  // Each channel's marks refer to its own gestures alone, and a channel's
  // gestures lie together: the channels go on every core.
  void forEachChannel(const std::function<size_t(size_t)>& weight,
                      const std::function<void(int)>& work) {
    inParts(kChannelCount, weight, [&work](size_t first, size_t last) {
      for (size_t c = first; c < last; ++c) work(static_cast<int>(c));
    });
  }

  // Where each channel's items begin, the channels one after another.
  static PerChannel firstOf(const PerChannel& count) {
    PerChannel first = {};
    for (int c = 1; c < kChannelCount; ++c) first[c] = first[c - 1] + count[c - 1];
    return first;
  }

  // Turns each track's count of items on each channel into where its items
  // go among the channel's, the tracks in order, each channel's after
  // `before` of its own; returns how many each channel has.
  static PerChannel placeRuns(std::vector<PerChannel>& at, const PerChannel& before = {}) {
    PerChannel next = before;
    for (PerChannel& counts : at) {
      for (int c = 0; c < kChannelCount; ++c) std::swap(counts[c], next[c]), next[c] += counts[c];
    }
    return next;
  }

  // A channel's starts in order of tick, then track and place in it: each
  // track's are in order of tick already. Each track finds its own.
  void findOnsets() {
    std::vector<PerChannel> at(tracks.size());  // each track's starts: counted, then where they go
    for (size_t t = 0; t < tracks.size(); ++t) at[t] = tracks[t].startsOn;
    const PerChannel count = placeRuns(at);
    const PerChannel first = firstOf(count);  // where each channel's starts begin
    for (PerChannel& starts : at) {
      for (int c = 0; c < kChannelCount; ++c) starts[c] += first[c];
    }
    const size_t total = first[kChannelCount - 1] + count[kChannelCount - 1];
    PoolBuffer<StartRef> buffer(total);
    StartRef* const starts = buffer.data();
    forEachTrack([&](size_t t) {
      const TrackEvents& events = tracks[t].events;
      for (uint32_t i = 0; i < events.size(); ++i) {
        if (events[i].role == EventRole::kStart)
          starts[at[t][channelOf(events[i].status)]++] = {events[i].tick, static_cast<uint32_t>(t), i};
      }
    });
    // Each channel's onsets: counted, then made, each channel on its own.
    const auto byTick = [](const StartRef& a, const StartRef& b) { return a.tick < b.tick; };
    forEachChannel([&count](size_t c) { return count[c]; },
                   [&](int c) {
                     StartRef* const begin = starts + first[c];
                     mergeRuns(begin, begin + count[c], byTick);
                     size_t n = 0;
                     for (size_t k = 0; k < count[c]; ++k) n += k == 0 || begin[k].tick != begin[k - 1].tick;
                     onsetsOf[c] = n;
                   });
    firstOnset = firstOf(onsetsOf);
    onsets.resize(firstOnset[kChannelCount - 1] + onsetsOf[kChannelCount - 1]);
    forEachChannel([&count](size_t c) { return count[c]; },
                   [&](int c) {
                     const StartRef *const begin = starts + first[c], *const end = begin + count[c];
                     auto at = static_cast<int32_t>(firstOnset[c]) - 1;
                     for (const StartRef* s = begin; s != end; ++s) {
                       if (s == begin || s->tick != (s - 1)->tick) newOnset(*s, static_cast<uint8_t>(c), ++at);
                       addStart(*s, at);
                     }
                   });
  }

  // The move and the gesture come later.
  void newOnset(const StartRef& s, uint8_t channel, int32_t at) {
    onsets[at] = {s.tick, {}, {}, channel, tracks[s.track].amounts.pitch,
                  static_cast<int32_t>(s.track), kMaxMoveTicks};
  }

  void addStart(const StartRef& s, int32_t at) {
    const TrackWork& track = tracks[s.track];
    Onset& onset = onsets[at];
    onset.cents = std::min(onset.cents, track.amounts.pitch);
    if (static_cast<int32_t>(s.track) != onset.timeTrack &&
        extent(static_cast<int32_t>(s.track), s.tick) < extent(onset.timeTrack, s.tick))
      onset.timeTrack = static_cast<int32_t>(s.track);
    tracks[s.track].events[s.index].link = at;
    // No start of a track moves below its floor.
    onset.room = static_cast<int32_t>(
        std::min<int64_t>(onset.room, std::max<int64_t>(s.tick - track.floorTick, 0)));
  }

  // Calls begin(at, micros) for each onset of channel c that begins a
  // gesture, then each(at) for every onset.
  template <class Begin, class Each>
  void walkGestures(int c, Begin begin, Each each) {
    double lastMicros = 0;
    const auto first = static_cast<int32_t>(firstOnset[c]);
    for (int32_t at = first; at < first + static_cast<int32_t>(onsetsOf[c]); ++at) {
      const double micros = microsAtTick(tempo, static_cast<double>(onsets[at].tick));
      if (at == first || micros - lastMicros > kGestureMicros) begin(at, micros);
      each(at);
      lastMicros = micros;
    }
  }

  // Each channel's gestures, on its own: counted, then made.
  void findGestures() {
    PerChannel& count = gesturesOf;
    forEachChannel([this](size_t c) { return onsetsOf[c]; },
                   [&](int c) {
                     walkGestures(c, [&](int32_t, double) { ++count[c]; }, [](int32_t) {});
                   });
    const PerChannel& first = firstGesture = firstOf(count);
    gestures.resize(first[kChannelCount - 1] + count[kChannelCount - 1]);
    starts.resize(gestures.size());
    forEachChannel([this](size_t c) { return onsetsOf[c]; }, [&](int c) {
      auto g = static_cast<int32_t>(first[c]) - 1;
      walkGestures(
          c,
          [&](int32_t at, double micros) {
            gestures[++g] = {at, at, kMaxMoveTicks};
            starts[g] = {onsets[at].tick, micros};
          },
          [&](int32_t at) {
            gestures[g].last = at;
            gestures[g].room = std::min<int64_t>(gestures[g].room, onsets[at].room);
            onsets[at].gesture = g;
          });
      // Each gap between two gestures of a channel changes by half of it at
      // most: the gesture before may take the larger share of an odd half,
      // so that a gap of two ticks leaves one of them a tick to move.
      for (size_t k = first[c] + 1; k < first[c] + count[c]; ++k) {
        const Onset &before = onsets[gestures[k - 1].last], &after = onsets[gestures[k].first];
        const int64_t half = (after.tick - before.tick) / 2;
        gestures[k - 1].room = std::min(gestures[k - 1].room, (half + 1) / 2);
        gestures[k].room = std::min(gestures[k].room, half / 2);
      }
    });
  }

  size_t marksOf(size_t c) const { return points[c].size() + barriers[c].size(); }

  // Each channel's points begin with its onsets', then come the tracks', in
  // order, as its barriers do: ties stay in that order. Each track counts
  // and writes its own.
  void findMarks() {
    std::vector<PerChannel> barrierAt(tracks.size()), pointAt(tracks.size());
    for (size_t t = 0; t < tracks.size(); ++t) {
      barrierAt[t] = tracks[t].barriersOn;
      pointAt[t] = tracks[t].pointsOn;
    }
    const PerChannel barrierCount = placeRuns(barrierAt), pointCount = placeRuns(pointAt, onsetsOf);
    size_t total = 0;
    for (int c = 0; c < kChannelCount; ++c) total += barrierCount[c] + pointCount[c];
    marks = std::make_unique<PoolBuffer<Mark>>(total);
    Mark* next = marks->data();
    for (int c = 0; c < kChannelCount; ++c) {
      barriers[c] = {next, barrierCount[c]};
      points[c] = {next + barrierCount[c], pointCount[c]};
      next += barrierCount[c] + pointCount[c];
    }
    forEachChannel([&](size_t c) { return onsetsOf[c]; },
                   [&](int c) {
                     for (size_t o = 0; o < onsetsOf[c]; ++o) {
                       const Onset& onset = onsets[firstOnset[c] + o];
                       points[c][o] = {onset.tick, onset.gesture};
                     }
                   });
    forEachTrack([&](size_t t) {
      const TrackWork& track = tracks[t];
      for (const TimedEvent& e : track.events) {
        const MarkKind kind = markKind(track, e);
        const int c = channelOf(e.status);
        if (kind == MarkKind::kBarrier) {
          const int32_t with =
              e.role == EventRole::kFollower ? onsets[track.events[e.link].link].gesture : kNone;
          barriers[c][barrierAt[t][c]++] = {e.tick, with};
        } else if (kind == MarkKind::kPoint) {
          points[c][pointAt[t][c]++] = {e.tick, onsets[track.events[e.link].link].gesture};
        }
      }
    });
    forEachChannel([this](size_t c) { return marksOf(c); },
                   [this](int c) {
                     mergeRuns(barriers[c].begin(), barriers[c].end(), std::less<Mark>());
                     mergeRuns(points[c].begin(), points[c].end(), std::less<Mark>());
                   });
  }

  // Holds the gesture at `near` (and, when it moves, the one at `far`) to
  // less than the distance between them: half of it each when both move.
  void keepApart(const Mark& near, const Mark& far) {
    const int64_t d = std::abs(far.tick - near.tick) - 1;
    if (far.gesture == kNone) {
      gestures[near.gesture].room = std::min(gestures[near.gesture].room, d);
      return;
    }
    gestures[near.gesture].room = std::min(gestures[near.gesture].room, d / 2);
    gestures[far.gesture].room = std::min(gestures[far.gesture].room, d / 2);
  }

  // From each mark of `from` with a gesture, the marks of `to` on either
  // side that stand on another tick and move otherwise, nearest first: only
  // the nearest (`nearestOnly`), or until none farther could hold the
  // gesture more. After kLook of them the gesture is held as if the next
  // stood there. Both are in order of tick: where each mark of `from` falls
  // among those of `to` only moves on.
  void keepMarksApart(std::span<const Mark> from, std::span<const Mark> to, bool nearestOnly) {
    constexpr int kLook = 64;
    auto at = to.begin();  // the first mark of `to` on or after the one at hand
    for (const Mark& m : from) {
      if (m.gesture == kNone) continue;
      while (at != to.end() && *at < m) ++at;
      int64_t& room = gestures[m.gesture].room;
      const auto done = [&](const Mark& other, int& looked) {
        const int64_t half = (std::abs(other.tick - m.tick) - 1) / 2;
        if (half >= room) return true;
        if (++looked < kLook) return false;
        room = half;
        return true;
      };
      int looked = 0;
      for (auto it = at; it != to.begin();) {
        --it;
        if (done(*it, looked)) break;
        if (it->tick == m.tick || it->gesture == m.gesture) continue;
        keepApart(m, *it);
        if (nearestOnly) break;
      }
      looked = 0;
      for (auto it = at; it != to.end(); ++it) {
        if (done(*it, looked)) break;
        if (it->tick == m.tick || it->gesture == m.gesture) continue;
        keepApart(m, *it);
        if (nearestOnly) break;
      }
    }
  }

  // Each gesture's draw takes its shared part from a tick: its own, or
  // that of a gesture of any channel that began up to kGestureMicros before
  // it and took its own, so that a strum and the bass note inside it move
  // alike. Only such a gesture lends its part: no chain of them carries a
  // part on. So the lenders cut the song's first ticks, in order, into
  // stretches: each is the earliest first tick left, and lends to every
  // first tick up to kGestureMicros after it. Each channel's gestures are in
  // order already: a stretch takes them from the front of each channel's,
  // and the next lender is the earliest of the ticks left at their fronts.
  // Returns each gesture's lender's tick.
  PoolVector<int64_t> findLenders() {
    constexpr int64_t kDone = INT64_MAX;
    PoolVector<int64_t> shared(gestures.size());  // each gesture's lender's first tick
    size_t next[kChannelCount], end[kChannelCount];  // each channel's gestures left
    for (int c = 0; c < kChannelCount; ++c) next[c] = firstGesture[c], end[c] = next[c] + gesturesOf[c];
    int64_t head[kChannelCount];  // the first tick of each channel's next gesture
    double headMicros[kChannelCount];  // and its time: beyond every reach once none is left
    const auto advance = [&](int c) {
      const bool left = next[c] < end[c];
      head[c] = left ? starts[next[c]].tick : kDone;
      headMicros[c] = left ? starts[next[c]].micros : HUGE_VAL;
    };
    for (int c = 0; c < kChannelCount; ++c) advance(c);
    for (;;) {
      int c = 0;  // the channel of the earliest front
      for (int k = 1; k < kChannelCount; ++k) c = head[k] < head[c] ? k : c;
      const int64_t lender = head[c];
      if (lender == kDone) break;
      const double lenderMicros = headMicros[c];
      const auto reached = [&](int k) { return !(headMicros[k] - lenderMicros > kGestureMicros); };
      // Which fronts the stretch reaches, all of them looked at alike: a
      // stretch takes from a few channels, rarely the same ones twice running.
      uint32_t taking = 0;
      for (int k = 0; k < kChannelCount; ++k) taking |= uint32_t{reached(k)} << k;
      for (; taking != 0; taking &= taking - 1) {
        const int k = std::countr_zero(taking);
        do {
          shared[next[k]++] = lender;
          advance(k);
        } while (reached(k));
      }
    }
    return shared;
  }

  // Each draw on its own, on every core. Each onset's streams start from
  // the run's shared stream and its channel's, made once.
  void drawMoves(const PoolVector<int64_t>& shared) {
    const MusicalRandom together = musicalStream(seed, MusicalStream::kShared, kChannelCount);
    const auto own = channelStreams<kChannelCount>(seed, MusicalStream::kTime);
    inParts(
        gestures.size(), [](size_t) { return 1; },
        [&](size_t first, size_t last) {
          for (size_t g = first; g < last; ++g) drawMove(gestures[g], onsetStream(together, shared[g]), own);
        });
  }

  void drawMove(const Gesture& g, MusicalRandom shared,
                const std::array<MusicalRandom, kChannelCount>& channelStreams) {
    const Onset& first = onsets[g.first];
    double reach = extent(first.timeTrack, first.tick);
    int32_t track = first.timeTrack;
    for (int32_t o = g.first + 1; o <= g.last; ++o) {
      const double other = extent(onsets[o].timeTrack, first.tick);
      if (other < reach) reach = other, track = onsets[o].timeTrack;
    }
    MusicalRandom own = onsetStream(channelStreams[first.channel], first.tick);
    const double x =
        (uniformDraw(shared) + uniformDraw(shared) + uniformDraw(own) + uniformDraw(own)) / 4;
    int64_t move = 0;
    if (reach > 0 && g.room > 0) {
      const double scale = std::min(1.0, static_cast<double>(g.room) / reach);
      move = static_cast<int64_t>(std::round(ticksOf(x, track, first.tick) * scale));
    }
    for (int32_t o = g.first; o <= g.last; ++o) onsets[o].move = static_cast<int32_t>(move);
  }
};

}  // namespace

PoolVector<Onset> drawOnsets(std::vector<TrackWork>& tracks, const TempoMap& tempo, uint32_t seed) {
  Draw draw{tracks, tempo, seed, {}, {}, {}, {}, {}, {}};
  draw.findOnsets();
  draw.findGestures();
  draw.findMarks();
  // Each channel keeps its marks apart on its own; the lenders, which read
  // only where gestures begin while the marks change only how far each may
  // move, are found beside them, as one more item after the channels (a
  // gesture there weighs about as much as three marks).
  PoolVector<int64_t> lenders;
  inParts(
      kChannelCount + 1,
      [&draw](size_t c) {
        return c < kChannelCount ? draw.marksOf(c) : 3 * draw.gestures.size();
      },
      [&](size_t first, size_t last) {
        for (size_t c = first; c < last; ++c) {
          if (c == kChannelCount) {
            lenders = draw.findLenders();
          } else {
            draw.keepMarksApart(draw.points[c], draw.barriers[c], false);
            draw.keepMarksApart(draw.barriers[c], draw.points[c], true);
          }
        }
      });
  draw.drawMoves(lenders);
  return std::move(draw.onsets);
}
