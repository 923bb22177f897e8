#include "transform/musical_pitch.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "song/midi.h"
#include "song/song.h"
#include "transform/bend_range.h"

namespace {

// What the press knows of one channel while it links a track.
struct ChannelState {
  int32_t fileBend = kBendCentre;  // the file's own bend in force
  int32_t sounding = 0;            // notes heard that have not ended
  int32_t startsAhead = 0;         // heard starts still to come on the tick at hand
  bool bent = false;               // a bend of ours is in force
  bool pending = false;            // its last note has ended: the file's bend is due
  int64_t bendTick = -1;           // where its last start tick took a bend (or the head's)
  MidiEvent* onsetBend = nullptr;  // its last bend in front of a start
};

struct PitchStep {
  Song& song;
  const std::vector<TimedEvent>& events;
  int32_t cents;
  const BendRanges& ranges;
  MusicalRandom& random;
  TrackChain& chain;
  MusicalTrackSummary& summary;
  ChannelState channels[kChannelCount] = {};

  void run() {
    noteHead();
    // A tick at a time: the returns due come first, behind the ends of the
    // tick before.
    for (size_t pos = 1; pos < events.size();) {
      restorePending();
      for (const size_t end = countStarts(pos); pos < end; ++pos) pass(events[pos]);
    }
    restorePending();
    // Whatever still sounds at the end: the channel goes back all the same;
    // a note that starts on the last tick keeps the file's bend instead, as
    // two bends on one tick would only be the second.
    for (ChannelState& channel : channels) {
      if (channel.bent && channel.bendTick == chain.lastTick) {
        setBend(*channel.onsetBend, channel.fileBend);
      } else if (channel.bent) {
        addBend(numberOf(channel), channel.fileBend, chain.lastTick);
      }
    }
  }

  // Nothing goes before the head: a note there keeps the pitch it has, and
  // so does the rest of its chord.
  void noteHead() {
    const TimedEvent& head = events.front();
    ChannelState& channel = channels[channelOf(head.event->status)];
    if (head.role == EventRole::kStart && !head.instant) {
      ++channel.sounding;
      channel.bendTick = head.tick;
    }
    readFileBend(*head.event);
  }

  // A note that ends before the channel's last start on its tick needs no
  // return of the bend: that start brings a bend of its own. Returns where
  // the tick that starts at `pos` ends.
  size_t countStarts(size_t pos) {
    size_t end = pos;
    for (; end < events.size() && events[end].newTick == events[pos].newTick; ++end) {
      const TimedEvent& e = events[end];
      if (e.role == EventRole::kStart && !e.instant)
        ++channels[channelOf(e.event->status)].startsAhead;
    }
    return end;
  }

  void pass(const TimedEvent& e) {
    const int c = channelOf(e.event->status);
    ChannelState& channel = channels[c];
    readFileBend(*e.event);
    // A return waits behind the other ends on its tick: no bend of ours
    // lands directly in front of a note's end.
    if (e.role != EventRole::kEnd) restorePending();
    // A note that ends where it starts is never heard: it takes no bend and
    // does not keep the channel sounding.
    if (e.role == EventRole::kStart && !e.instant) {
      if (c != kDrumChannel && channel.bendTick != e.newTick) bendOnset(c, e);
      --channel.startsAhead;
      ++channel.sounding;
    } else if (e.role == EventRole::kEnd && e.paired && !e.instant) {
      assert(channel.sounding > 0);  // its note was heard before it
      if (--channel.sounding == 0 && channel.bent && channel.startsAhead == 0) {
        assert(!channel.pending);
        channel.pending = true;
      }
    }
    chain.append(e.event, e.newTick);
  }

  // The file's own bends set what ours are drawn around and go back to.
  void readFileBend(const MidiEvent& e) {
    if (messageKind(e.status) != kPitchBend) return;
    ChannelState& channel = channels[channelOf(e.status)];
    channel.fileBend = (e.data1 & 0x7F) | ((e.data2 & 0x7F) << 7);
    channel.bent = false;
    channel.pending = false;
  }

  void bendOnset(int c, const TimedEvent& e) {
    ChannelState& channel = channels[c];
    channel.bendTick = e.newTick;
    const double drawn = cents * bellDraw(random);
    const int32_t range = bendRangeAt(ranges, c, e.tick);
    if (range <= 0) return;
    const int32_t units = static_cast<int32_t>(std::trunc(drawn * kBendCentre / range));
    channel.onsetBend = addBend(c, std::clamp(channel.fileBend + units, 0, kBendMax), e.newTick);
    channel.bent = true;
  }

  void restorePending() {
    for (ChannelState& channel : channels) {
      if (!channel.pending) continue;
      channel.pending = false;
      channel.bent = false;
      addBend(numberOf(channel), channel.fileBend, chain.lastTick);
    }
  }

  int numberOf(const ChannelState& channel) const { return static_cast<int>(&channel - channels); }

  MidiEvent* addBend(int c, int32_t value, int64_t tick) {
    MidiEvent* e = newEvent(song);
    e->status = static_cast<uint8_t>(kPitchBend | c);
    e->dataLength = 2;
    setBend(*e, value);
    chain.append(e, tick);
    ++summary.bendsAdded;
    return e;
  }

  // Sent low 7 bits first.
  static void setBend(MidiEvent& e, int32_t value) {
    e.data1 = static_cast<uint8_t>(value & 0x7F);
    e.data2 = static_cast<uint8_t>(value >> 7);
  }
};

}  // namespace

void bendTrack(Song& song, const std::vector<TimedEvent>& events, int32_t cents,
               const BendRanges& ranges, MusicalRandom& random, TrackChain& chain,
               MusicalTrackSummary& summary) {
  PitchStep{song, events, cents, ranges, random, chain, summary}.run();
}
