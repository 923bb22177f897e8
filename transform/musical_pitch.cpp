#include "transform/musical_pitch.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <functional>
#include <numeric>
#include <queue>

#include "song/midi.h"
#include "song/song.h"
#include "song/song_tracks.h"
#include "transform/bend_range.h"
#include "transform/musical_random.h"
#include "transform/work_parts.h"

namespace {

// What the press knows of one channel while it walks the song. Tracks that
// hold channels of their own are walked at once, each channel by one of
// them: a cache line each keeps them from writing on one another's.
struct alignas(64) ChannelState {
  int32_t fileBend = kBendCentre;  // the file's own bend in force
  int32_t sounding = 0;            // notes heard that have not ended
  bool held = false;               // notes sounded from before its last onset
  bool bent = false;               // a bend of ours is in force
  int64_t onsetTick = -1;          // the last tick a note of it started on
  bool onsetBent = false;          // that onset took a bend of ours
  uint32_t bender = 0;             // the track of our bend in force
  int64_t bendTick = -1;
  size_t onsetBend = 0;  // its place among its track's inserts
  // The notes counted as bent by its bend in force: their tracks.
  std::vector<uint32_t> bentNotes;
};

// A bend to link in front of a track's event `before` (its events' count:
// last). Its event is made as the track is linked, so that a track's events
// lie together in the pool, in the order the writer reads them.
struct Insert {
  int64_t tick;
  uint32_t before;
  uint16_t value;  // 14 bits
  uint8_t status;
};

struct PitchStep {
  Song& song;
  std::vector<TrackWork>& tracks;
  const BendRanges& ranges;
  uint32_t seed;
  std::vector<MusicalTrackSummary>& summaries;
  std::vector<PoolVector<Insert>> inserts = std::vector<PoolVector<Insert>>(tracks.size());
  std::vector<size_t> cursor = std::vector<size_t>(tracks.size()), groupEnd = cursor;
  std::array<ChannelState, kChannelCount> channels = {};
  // Each channel's stream, which each onset's starts from.
  std::array<MusicalRandom, kChannelCount> pitchStreams =
      channelStreams<kChannelCount>(seed, MusicalStream::kPitch);

  void run() {
    // Without a pitch amount the walk would bend and count nothing: the
    // tracks are only linked.
    if (std::any_of(tracks.begin(), tracks.end(),
                    [](const TrackWork& track) { return track.amounts.pitch != 0; }))
      walk();
    // The bends' events are taken from the pool on this thread, each
    // track's together, in the order the writer reads them; the tracks are
    // then linked on every core.
    std::vector<std::vector<EventRun>> made(tracks.size());
    for (uint32_t t = 0; t < tracks.size(); ++t) {
      if (tracks[t].pressed) takeEvents(song, inserts[t].size(), made[t]);
    }
    inParts(
        tracks.size(), [this](size_t t) { return tracks[t].placedCount() + inserts[t].size(); },
        [this, &made](size_t first, size_t last) {
          std::vector<MidiEvent*> read;  // one track's events as read
          for (size_t t = first; t < last; ++t) {
            if (tracks[t].pressed) link(static_cast<uint32_t>(t), made[t], read);
          }
        });
  }

  // Every event of every track in time order, bending as it goes. Where no
  // channel is heard in two tracks (the usual layout: a track a player), a
  // channel's state hangs on its own track alone, and every return goes into
  // the track that bent: each track is walked on its own, which reads one
  // track's events after another instead of all of them at once, and the
  // tracks go on every core.
  void walk() {
    uint32_t heard = 0;  // the channels of the tracks so far
    bool apart = true;
    for (uint32_t t = 0; t < tracks.size(); ++t) {
      // Room for a bend and a return per note, reserved untouched: no copy as they come.
      if (tracks[t].amounts.pitch != 0) inserts[t].reserve(tracks[t].placedCount());
      apart = apart && (heard & tracks[t].heardChannels) == 0;
      heard |= tracks[t].heardChannels;
    }
    if (apart) {
      // A track alone on its channels bends and counts nothing without a
      // pitch amount, or with drums alone: it is left out.
      const auto bends = [this](size_t t) {
        return tracks[t].amounts.pitch != 0 &&
               (tracks[t].heardChannels & ~(1u << kDrumChannel)) != 0;
      };
      inParts(
          tracks.size(), [&](size_t t) { return bends(t) ? tracks[t].placedCount() : 0; },
          [&](size_t first, size_t last) {
            for (size_t t = first; t < last; ++t) {
              if (bends(t)) walkTracks({static_cast<uint32_t>(t)});
            }
          });
    } else {
      std::vector<uint32_t> all(tracks.size());
      std::iota(all.begin(), all.end(), 0);
      walkTracks(all);
    }
    endSong();
  }

  void walkTracks(const std::vector<uint32_t>& walked) {
    if (walked.size() == 1) {
      // One track: its ticks come in its own order.
      const uint32_t t = walked[0];
      const TrackWork& track = tracks[t];
      for (size_t first = 0; first < track.placedCount(); first = groupEnd[t]) {
        const int64_t tick = track.placed(first).newTick;
        cursor[t] = first;
        groupEnd[t] = tickEnd(track, first, tick);
        walkTick(tick, walked);
      }
      return;
    }
    std::vector<uint32_t> active;  // the tracks with events on the tick at hand
    using Next = std::pair<int64_t, uint32_t>;  // a track's next tick
    std::priority_queue<Next, std::vector<Next>, std::greater<Next>> queue;
    for (const uint32_t t : walked) {
      if (!tracks[t].order.empty()) queue.push({tracks[t].placed(0).newTick, t});
    }
    while (!queue.empty()) {
      const int64_t tick = queue.top().first;
      active.clear();
      for (; !queue.empty() && queue.top().first == tick; queue.pop()) {
        const uint32_t t = queue.top().second;
        active.push_back(t);
        groupEnd[t] = tickEnd(tracks[t], cursor[t], tick);
      }
      walkTick(tick, active);
      for (const uint32_t t : active) {
        cursor[t] = groupEnd[t];
        if (cursor[t] < tracks[t].placedCount())
          queue.push({tracks[t].placed(cursor[t]).newTick, t});
      }
    }
  }

  // Where a track's events on `tick`, from `first` on, end.
  static size_t tickEnd(const TrackWork& track, size_t first, int64_t tick) {
    size_t end = first;
    while (end < track.placedCount() && track.placed(end).newTick == tick) ++end;
    return end;
  }

  // The events on one tick: of each track in `active`, from its cursor to
  // its group's end.
  void walkTick(int64_t tick, const std::vector<uint32_t>& active) {
    // The ends on the tick first: a note that ends there leaves the
    // channel free for a note that starts there.
    uint32_t ended = 0;  // a bit per channel
    for (const uint32_t t : active) {
      for (size_t i = cursor[t]; i < groupEnd[t]; ++i) {
        const TimedEvent& e = tracks[t].placed(i);
        if (e.role == EventRole::kEnd && e.paired && !e.instant) {
          const int c = channelOf(e.status);
          assert(channels[c].sounding > 0);  // its note was heard before it
          --channels[c].sounding;
          ended |= 1u << c;
        }
      }
    }
    for (const uint32_t t : active) {
      for (size_t i = cursor[t]; i < groupEnd[t]; ++i) pass(t, i, tick, active);
    }
    // Only a channel whose notes ended falls silent.
    for (int c = 0; ended != 0; ++c, ended >>= 1) {
      ChannelState& channel = channels[c];
      if ((ended & 1) != 0 && channel.bent && channel.sounding == 0)
        restore(channel, groupEnd[channel.bender], tick, active);
    }
  }

  void endSong() {
    // Notes that never end: the channel goes back all the same where the
    // song ends, when every other note has ended; a note that starts there
    // keeps the file's bend instead, as two bends on one tick would only be
    // the second.
    int64_t last = INT64_MIN;
    for (uint32_t t = 0; t < tracks.size(); ++t) last = std::max(last, lastTick(t));
    std::vector<uint32_t> active;  // the tracks that end there
    for (uint32_t t = 0; t < tracks.size(); ++t) {
      groupEnd[t] = tracks[t].placedCount();
      if (lastTick(t) == last) active.push_back(t);
    }
    for (ChannelState& channel : channels) {
      if (!channel.bent) continue;
      if (channel.bendTick == last) {
        unbend(channel);
      } else {
        restore(channel, tracks[channel.bender].placedCount(), last, active);
      }
    }
  }

  void pass(uint32_t t, size_t i, int64_t tick, const std::vector<uint32_t>& active) {
    const TimedEvent& e = tracks[t].placed(i);
    const int c = channelOf(e.status);
    ChannelState& channel = channels[c];
    if (e.role == EventRole::kFixed || e.role == EventRole::kFollower) {
      if (isChannelStatus(e.status) && messageKind(e.status) == kPitchBend) {
        channel.fileBend = (e.data1 & 0x7F) | ((e.data2 & 0x7F) << 7);
        channel.bent = false;
      }
      return;
    }
    // A note that ends where it starts is never heard: it takes no bend and
    // does not keep the channel sounding.
    if (e.role != EventRole::kStart || e.instant) return;
    if (channel.onsetTick != tick) {
      // No note of the channel on this tick is counted yet.
      channel.held = channel.sounding > 0;
      channel.onsetTick = tick;
      channel.onsetBent = false;
      if (c != kDrumChannel && !channel.held) {
        if (e.cents > 0 && i > 0) {
          bendOnset(channel, t, i, e);
        } else if (channel.bent) {
          // Its notes sound as the file has them: the channel goes back on
          // their tick, behind the bending track's events there.
          const uint32_t b = channel.bender;
          restore(channel, b == t ? i : groupEnd[b], tick, active);
        }
      }
    }
    if (channel.onsetBent) {
      ++summaries[t].notesBent;
      channel.bentNotes.push_back(t);
    }
    if (c != kDrumChannel && channel.held && e.cents > 0) ++summaries[t].notesHeld;
    ++channel.sounding;
  }

  void bendOnset(ChannelState& channel, uint32_t t, size_t i, const TimedEvent& e) {
    const int c = channelOf(e.status);
    const int32_t range = bendRangeAt(ranges, c, e.tick);
    if (range <= 0) return;
    MusicalRandom random = onsetStream(pitchStreams[c], e.tick);
    const double drawn = e.cents * bellDraw(random);
    const int32_t units = static_cast<int32_t>(std::trunc(drawn * kBendCentre / range));
    channel.onsetBend = inserts[t].size();
    addBend(t, i, c, std::clamp(channel.fileBend + units, 0, kBendMax), e.newTick);
    channel.bent = channel.onsetBent = true;
    channel.bentNotes.clear();
    channel.bender = t;
    channel.bendTick = e.newTick;
  }

  // A return goes in the track of the bend it takes back, unless no delta
  // time reaches that far from that track's events before it (tracks that
  // end far apart); then in another bent track with an event on its tick
  // (`active`), or, with none, nowhere: that bend is made the file's own.
  void restore(ChannelState& channel, size_t before, int64_t tick,
               const std::vector<uint32_t>& active) {
    channel.bent = false;
    uint32_t t = channel.bender;
    int64_t from = before > 0 ? tracks[t].placed(before - 1).newTick : 0;
    if (!inserts[t].empty()) from = std::max(from, inserts[t].back().tick);
    for (size_t a = 0; a < active.size() && tick - from > kMaxDeltaTime; ++a) {
      if (tracks[active[a]].amounts.pitch != 0) t = active[a], before = groupEnd[t], from = tick;
    }
    // None: the bend it would take back becomes the file's own instead.
    if (tick - from > kMaxDeltaTime) {
      unbend(channel);
      return;
    }
    addBend(t, before, static_cast<int>(&channel - channels.data()), channel.fileBend, tick);
  }

  // The channel's bend in force takes the file's value: its notes were not
  // bent after all.
  void unbend(ChannelState& channel) {
    inserts[channel.bender][channel.onsetBend].value = static_cast<uint16_t>(channel.fileBend);
    channel.bent = false;
    for (const uint32_t t : channel.bentNotes) --summaries[t].notesBent;
    channel.bentNotes.clear();
  }

  int64_t lastTick(uint32_t t) const {
    const int64_t last =
        tracks[t].order.empty() ? 0 : tracks[t].placed(tracks[t].placedCount() - 1).newTick;
    return inserts[t].empty() ? last : std::max(last, inserts[t].back().tick);
  }

  void addBend(uint32_t t, size_t before, int c, int32_t value, int64_t tick) {
    inserts[t].push_back({tick, static_cast<uint32_t>(before), static_cast<uint16_t>(value),
                          static_cast<uint8_t>(kPitchBend | c)});
    ++summaries[t].bendsAdded;
  }

  // Built in `node`, sent low 7 bits first.
  static MidiEvent* newBend(const Insert& insert, MidiEvent* node) {
    MidiEvent* e = new (node) MidiEvent;
    e->status = insert.status;
    e->dataLength = 2;
    e->data1 = static_cast<uint8_t>(insert.value & 0x7F);
    e->data2 = static_cast<uint8_t>(insert.value >> 7);
    return e;
  }

  // The End of Track stays last: on its tick, or on the last event's when a
  // move or a return of the bend went past it.
  // The bends' events are built in `runs`, one after another.
  void link(uint32_t t, const std::vector<EventRun>& runs, std::vector<MidiEvent*>& read) {
    TrackWork& track = tracks[t];
    read.resize(track.placedCount());
    MidiEvent* e = &trackAt(song, static_cast<int32_t>(t)).head;
    for (MidiEvent*& event : read) event = e, e = e->next;
    TrackChain chain(*read[track.order[0]], track.placed(0).newTick);
    auto insert = inserts[t].begin();
    auto run = runs.begin();
    size_t taken = 0;  // of the run at hand
    for (size_t i = 1; i <= track.placedCount(); ++i) {
      for (; insert != inserts[t].end() && insert->before == i; ++insert) {
        if (taken == run->count) ++run, taken = 0;
        chain.append(newBend(*insert, run->first + taken++), insert->tick);
      }
      if (i < track.placedCount()) chain.append(read[track.order[i]], track.placed(i).newTick);
    }
    assert(insert == inserts[t].end());
    if (track.endOfTrack != nullptr)
      chain.append(track.endOfTrack,
                   std::max(track.lastTick + track.endOfTrack->deltaTime, chain.lastTick));
    chain.close();
  }
};

}  // namespace

void bendSong(Song& song, std::vector<TrackWork>& tracks, const BendRanges& ranges, uint32_t seed,
              std::vector<MusicalTrackSummary>& summaries) {
  PitchStep{song, tracks, ranges, seed, summaries}.run();
}
