// Checks of one Transform press on a whole song against what the press
// promises, computed independently of the transformer: from a snapshot of
// the song before the press, the absolute ticks after it and a reference
// copy of the generator that predicts every draw in order.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "song/song.h"
#include "tests/transform/chain_helpers.h"

constexpr int64_t kLimit = 0x0FFFFFFF;

struct TrackSnapshot {
  std::vector<const MidiEvent*> nodes;
  std::vector<EventFields> fields;
  std::vector<uint64_t> ticks;
};

inline TrackSnapshot snapshotTrack(const TrackSlot& slot) {
  return {trackNodes(slot), trackEvents(slot), absoluteTicks(slot)};
}

inline std::vector<TrackSnapshot> snapshotSong(const Song& song) {
  std::vector<TrackSnapshot> out;
  for (int i = 0; i < song.trackCount; ++i) out.push_back(snapshotTrack(song.tracks[i]));
  return out;
}

// Time shift: every event keeps its place in the chain; an event that is
// not eligible moves with the one before it; an eligible event lands J
// ticks from where the settle step puts it (or on that spot when the
// jitter had to be dropped), where the settle step leaves it late by the
// residue max(0, displacement before it − its delta). So the displacement
// after the last eligible event is the one the End of Track keeps.
inline void checkTimeShift(const TrackSnapshot& before, const std::vector<int64_t>& moved,
                           int amount, ReferenceGenerator& generator, const std::string& where) {
  int64_t carried = 0;
  for (size_t i = 1; i < before.nodes.size(); ++i) {
    const EventFields& old = before.fields[i];
    const bool eligible = old.status < 0xA0 && old.deltaTime != 0;
    if (!eligible) {
      EXPECT_EQ(moved[i], carried)
          << where << ": event " << i << " " << old << " must move with the event before it";
      continue;
    }
    const int jitter = generator.around(amount);
    const int64_t delta = old.deltaTime;
    int64_t residue = carried > delta ? carried - delta : 0;
    int64_t settled = delta - carried + residue;
    // A delta is never settled past the four-byte limit (nor past its own
    // length when it already lies beyond): the rest of an early displacement
    // stays as a negative residue. A jitter past the limit is dropped.
    const int64_t limit = std::max<int64_t>(delta, kLimit);
    if (settled > limit) {
      residue = limit - (delta - carried);
      settled = limit;
    }
    const bool applied = jitter > 0 ? settled + jitter <= kLimit : settled > -jitter;
    EXPECT_EQ(moved[i], residue + (applied ? jitter : 0))
        << where << ": event " << i << " " << old << " carried " << carried << " jitter " << jitter;
    EXPECT_GE(moved[i] - residue, -amount) << where << ": event " << i;
    EXPECT_LE(moved[i] - residue, amount - 1) << where << ": event " << i;
    carried = moved[i];
  }
  EXPECT_EQ(moved.back(), carried) << where << ": End of Track must keep the last displacement";
}

// Running-status expansion: a stored data byte takes the last channel status
// (0x80..0xEF) before it, its bytes move up one field; with no channel
// status before it the event stays as read. Everything else keeps its bytes.
inline void checkExpansion(const TrackSnapshot& before, const std::vector<EventFields>& after,
                           const std::string& where) {
  uint8_t preceding = before.fields[0].status >= 0x80 && before.fields[0].status < 0xF0
                          ? before.fields[0].status
                          : 0;
  EXPECT_EQ(after[0].status, before.fields[0].status) << where << ": head";
  for (size_t i = 1; i < before.fields.size(); ++i) {
    EventFields want = before.fields[i];
    want.deltaTime = after[i].deltaTime;
    if (want.status >= 0x80) {
      if (want.status < 0xF0) preceding = want.status;
    } else if (preceding != 0) {
      if (want.dataLength == 0) {
        want = {want.deltaTime, preceding, want.status, want.data2, 1};
      } else {
        want = {want.deltaTime, preceding, want.status, want.data1, 2};
      }
    }
    EXPECT_EQ(after[i], want) << where << ": event " << i;
  }
}

// Checks one track after a press that ran with these amounts, drawing the
// track's time-shift draws and then its pitch-shift draws from `generator`.
inline void checkTrackPress(const TrackSnapshot& before, const TrackSlot& slot, int timeShift,
                            int pitchShift, ReferenceGenerator& generator,
                            const std::string& where) {
  // Locate the original events in the chain after the press.
  std::unordered_map<const MidiEvent*, size_t> original;
  for (size_t i = 0; i < before.nodes.size(); ++i) original[before.nodes[i]] = i;
  std::vector<const MidiEvent*> nodes = trackNodes(slot);
  std::vector<uint64_t> ticks = absoluteTicks(slot);
  std::vector<int64_t> moved(before.nodes.size(), 0);
  std::vector<EventFields> kept(before.nodes.size());
  size_t next = 0;
  for (size_t k = 0; k < nodes.size(); ++k) {
    auto found = original.find(nodes[k]);
    if (found == original.end()) continue;
    ASSERT_EQ(found->second, next) << where << ": the original events must keep their order";
    moved[next] = static_cast<int64_t>(ticks[k]) - static_cast<int64_t>(before.ticks[next]);
    const MidiEvent* e = nodes[k];
    kept[next] = {e->deltaTime, e->status, e->data1, e->data2, e->dataLength};
    EXPECT_LE(e->deltaTime, 0x0FFFFFFFu) << where << ": delta beyond four bytes";
    ++next;
  }
  ASSERT_EQ(next, before.nodes.size()) << where << ": an original event went missing";
  EXPECT_EQ(moved[0], 0) << where << ": the head never moves";

  if (timeShift != 0) {
    checkTimeShift(before, moved, timeShift, generator, where);
  } else {
    for (size_t i = 0; i < moved.size(); ++i) EXPECT_EQ(moved[i], 0) << where << ": event " << i;
  }

  if (pitchShift == 0) {
    EXPECT_EQ(nodes.size(), before.nodes.size()) << where << ": no pitch shift, no new events";
    for (size_t i = 1; i < kept.size(); ++i) {
      EventFields want = before.fields[i];
      want.deltaTime = kept[i].deltaTime;
      EXPECT_EQ(kept[i], want) << where << ": event " << i;
    }
    return;
  }

  checkExpansion(before, kept, where);
  // One draw per Note On after the head, in chain order; each non-zero
  // draw is a new Pitch Bend directly before its note, on its channel, at
  // its tick, with low byte 0.
  size_t bends = 0;
  for (size_t k = 1; k < nodes.size(); ++k) {
    const MidiEvent* note = nodes[k];
    if (original.count(note) == 0 || (note->status & 0xF0) != 0x90) continue;
    const int value = generator.around(pitchShift) + 64;
    const MidiEvent* before_note = nodes[k - 1];
    if (value == 0) {
      EXPECT_EQ(original.count(before_note), 1u) << where << ": a draw of 0 inserts nothing";
      continue;
    }
    ASSERT_EQ(original.count(before_note), 0u) << where << ": no bend before Note On at " << k;
    ++bends;
    EXPECT_EQ(before_note->status, 0xE0 | (note->status & 0x0F)) << where << ": bend channel";
    EXPECT_EQ(before_note->data1, 0) << where;
    EXPECT_EQ(before_note->data2, value) << where;
    EXPECT_GE(before_note->data2, 64 - pitchShift) << where;
    EXPECT_LE(before_note->data2, 63 + pitchShift) << where;
    EXPECT_EQ(before_note->dataLength, 2) << where;
    EXPECT_EQ(note->deltaTime, 0u) << where << ": the note follows its bend at once";
    EXPECT_EQ(ticks[k - 1], ticks[k]) << where;
  }
  EXPECT_EQ(nodes.size(), before.nodes.size() + bends) << where << ": stray new events";
}

// Checks a whole press with `seed` on a song: tracks in order, each by its
// own amounts.
inline void checkSongPress(const std::vector<TrackSnapshot>& before, const Song& song,
                           uint32_t seed, const std::string& where) {
  ReferenceGenerator generator(seed);
  ASSERT_EQ(static_cast<size_t>(song.trackCount), before.size());
  for (int i = 0; i < song.trackCount; ++i) {
    const TrackSlot& slot = song.tracks[i];
    checkTrackPress(before[i], slot, slot.timeShift, slot.pitchShift, generator,
                    where + " track " + std::to_string(i + 1));
  }
}
