#include "transform/musical_press.h"

#include <algorithm>
#include <cmath>

#include "song/song.h"
#include "song/song_tracks.h"
#include "transform/bend_range.h"
#include "song/midi.h"
#include "transform/musical_random.h"
#include "transform/pitch_shift.h"
#include "transform/tempo_map.h"
#include "transform/velocity_shift.h"

namespace {

// A move this large only comes from a tempo of a few microseconds per
// quarter note; beyond it a delta time could outgrow what a file holds.
constexpr int64_t kMaxMoveTicks = 1 << 16;
constexpr int32_t kBendCentre = 8192;
constexpr int32_t kBendMax = 16383;

enum class Role : uint8_t {
  kFixed,     // keeps its tick
  kStart,     // a Note On with a velocity: moves with its start tick
  kEnd,       // a Note Off or velocity-0 Note On: moves with its note
  kFollower,  // a channel message in front of a start on its tick
  kLast,      // the End of Track
};

struct Item {
  MidiEvent* event;
  int64_t tick;  // as read
  int64_t newTick;
  uint32_t index;  // place in the track as read, the head 0
  // Sorted by (newTick, place, before, index): an end cut short at the next
  // start of its key takes that start's place, just before it.
  uint32_t place;
  uint8_t before;  // 0: just before the event at `place`; 1: at it
  Role role;
  bool paired = false;   // an end that closes a sounding note
  bool instant = false;  // a note, or its end, that ends on its start's tick
  int32_t link = -1;     // start, follower: its start tick's number; end: its note's start
};

bool sortsBefore(const Item& a, const Item& b) {
  if (a.newTick != b.newTick) return a.newTick < b.newTick;
  if (a.place != b.place) return a.place < b.place;
  if (a.before != b.before) return a.before < b.before;
  return a.index < b.index;
}

int channelOf(const MidiEvent& e) { return e.status & 0x0F; }
int keyOf(const MidiEvent& e) { return (channelOf(e) << 7) | (e.data1 & 0x7F); }

Role roleOf(const MidiEvent& e) {
  if (e.next == nullptr && e.status == 0xFF && e.data1 == 0x2F) return Role::kLast;
  if (e.status < 0x80 || e.status >= 0xF0 || e.dataLength < 1) return Role::kFixed;
  const int kind = e.status & 0xF0;
  if ((kind == 0x80 || kind == 0x90) && e.dataLength < 2) return Role::kFixed;
  if (kind == 0x80 || (kind == 0x90 && e.data2 == 0)) return Role::kEnd;
  if (kind == 0x90) return Role::kStart;
  return Role::kFollower;  // a candidate: only those in front of a start on its tick follow
}

// Every key of every channel: channel × 128 + key.
constexpr int kKeys = 16 * 128;

struct Context {
  Song& song;
  TempoMap tempo;
  BendRanges ranges;
  // Five tables by key for pairing notes, all -1 between tracks: made once
  // per press, and each track puts back only the keys it played, so that a
  // song of many short tracks costs what its events cost, not a table per
  // track.
  std::vector<int32_t> keyTables = std::vector<int32_t>(5 * kKeys, -1);
  // Each track's lists, kept from track to track: their memory is then
  // touched once per press, not once per track (fresh pages are most of
  // what a long list costs).
  std::vector<Item> items{};
  std::vector<int64_t> startTicks{};
  std::vector<int64_t> moves{};
  std::vector<int32_t> nextSameKey{};
  std::vector<int32_t> nextForOrphan{};
  std::vector<int32_t> nextOpen{};
  std::vector<int32_t> orphansWithoutNote{};
};

class TrackPress {
 public:
  TrackPress(Context& context, TrackSlot& slot, const MusicalAmounts& amounts, uint32_t seed,
             uint32_t track, MusicalTrackSummary& summary)
      : context_(context),
        slot_(slot),
        amounts_(amounts),
        summary_(summary),
        timeRandom_(musicalStream(seed, MusicalStream::kTime, track)),
        pitchRandom_(musicalStream(seed, MusicalStream::kPitch, track)),
        items_(context.items),
        startTicks_(context.startTicks),
        moves_(context.moves),
        nextSameKey_(context.nextSameKey),
        nextForOrphan_(context.nextForOrphan) {
    items_.clear();
    startTicks_.clear();
  }

  void run() {
    readItems();
    findStartTicks();
    pairEnds();
    if (amounts_.time != 0) drawMoves();
    placeItems();
    relink();
  }

 private:
  void readItems() {
    size_t count = 0;
    for (const MidiEvent* e = &slot_.head; e != nullptr; e = e->next) ++count;
    items_.reserve(count);
    int64_t tick = 0;
    uint32_t index = 0;
    for (MidiEvent* e = &slot_.head; e != nullptr; e = e->next, ++index) {
      tick += e->deltaTime;
      Item item{e, tick, tick, index, index, 1, roleOf(*e)};
      if (index == 0 && item.role == Role::kLast) item.role = Role::kFixed;
      // A data byte with no channel status before it (only a damaged track
      // starts so) is kept as read; were a channel message to pass it, the
      // byte would be read under that message's status. Nothing moves in
      // front of it, as nothing moves in front of the head.
      if (index == 0 || e->status < 0x80) floorTick_ = tick;
      items_.push_back(item);
    }
  }

  // Groups the starts by tick and finds the channel messages that go with
  // them: those on the tick in front of its last start. The track is in
  // tick order, so one tick's events lie together.
  void findStartTicks() {
    for (size_t first = 0; first < items_.size();) {
      size_t end = first;
      size_t lastStart = first;
      bool hasStart = false;
      while (end < items_.size() && items_[end].tick == items_[first].tick) {
        if (items_[end].role == Role::kStart) {
          lastStart = end;
          hasStart = true;
        }
        ++end;
      }
      if (hasStart) startTicks_.push_back(items_[first].tick);
      const int32_t number = static_cast<int32_t>(startTicks_.size()) - 1;
      for (size_t i = first; i < end; ++i) {
        Item& item = items_[i];
        if (item.role == Role::kStart) {
          item.link = number;
          ++summary_.notes;
        } else if (item.role == Role::kFollower) {
          if (hasStart && i < lastStart) {
            item.link = number;
          } else {
            item.role = Role::kFixed;
          }
        }
      }
      first = end;
    }
    moves_.assign(startTicks_.size(), 0);
  }

  // Matches each end to the note it closes: the earliest sounding note of
  // its key and channel, as a player's sequencer reads it. An end with no
  // sounding note (a doubled Note Off) goes with the key's last note.
  void pairEnds() {
    int32_t* const firstOpen = context_.keyTables.data();
    int32_t* const lastOpen = firstOpen + kKeys;
    int32_t* const lastStart = lastOpen + kKeys;
    int32_t* const firstStart = lastStart + kKeys;
    int32_t* const later = firstStart + kKeys;
    std::vector<int32_t>& nextOpen = context_.nextOpen;
    nextOpen.assign(items_.size(), -1);
    nextSameKey_.assign(items_.size(), -1);
    std::vector<int32_t>& orphansWithoutNote = context_.orphansWithoutNote;
    orphansWithoutNote.clear();
    for (size_t i = 0; i < items_.size(); ++i) {
      Item& item = items_[i];
      const int32_t at = static_cast<int32_t>(i);
      if (item.role == Role::kStart) {
        const int key = keyOf(*item.event);
        if (firstStart[key] < 0) firstStart[key] = at;
        lastStart[key] = at;
        (lastOpen[key] >= 0 ? nextOpen[lastOpen[key]] : firstOpen[key]) = at;
        lastOpen[key] = at;
      } else if (item.role == Role::kEnd) {
        const int key = keyOf(*item.event);
        if (firstOpen[key] >= 0) {
          item.link = firstOpen[key];
          item.paired = true;
          firstOpen[key] = nextOpen[item.link];
          if (firstOpen[key] < 0) lastOpen[key] = -1;
        } else {
          item.link = lastStart[key];
          if (item.link < 0) orphansWithoutNote.push_back(at);
        }
      }
    }
    // A note ends no later than the next start of its key on a later tick;
    // notes of one key that start together share that bound, so that their
    // ends stay in the order they had.
    for (size_t i = items_.size(); i-- > 0;) {
      if (items_[i].role != Role::kStart) continue;
      const int key = keyOf(*items_[i].event);
      const int32_t after = later[key];
      nextSameKey_[i] =
          after < 0 || items_[after].tick > items_[i].tick ? after : nextSameKey_[after];
      later[key] = static_cast<int32_t>(i);
    }
    // An end before any note of its key is followed by the key's first start.
    nextForOrphan_.assign(items_.size(), -1);
    for (const int32_t at : orphansWithoutNote) {
      nextForOrphan_[at] = firstStart[keyOf(*items_[at].event)];
    }
    for (const Item& item : items_) {
      if (item.role != Role::kStart && item.role != Role::kEnd) continue;
      for (int32_t* table = firstOpen; table <= later; table += kKeys)
        table[keyOf(*item.event)] = -1;
    }
  }

  // One bell-shaped draw per start tick, in ticks or through the tempo map,
  // rounded towards the written time (so a whole tick is never further than
  // the draw, and the bell keeps its shape at small amounts), then held to
  // less than half the gap to each neighbouring start tick (the same limit
  // both ways: no bias) and to the head, which stays first.
  void drawMoves() {
    const size_t count = startTicks_.size();
    for (size_t g = 0; g < count; ++g) {
      const int64_t tick = startTicks_[g];
      int64_t limit = std::min(kMaxMoveTicks, tick - floorTick_);
      if (g > 0) limit = std::min(limit, (tick - startTicks_[g - 1] - 1) / 2);
      if (g + 1 < count) limit = std::min(limit, (startTicks_[g + 1] - tick - 1) / 2);
      const double draw = amounts_.time * bellDraw(timeRandom_);
      int64_t move = 0;
      if (amounts_.timeInMs) {
        const double target =
            microsAtTick(context_.tempo, static_cast<double>(tick)) + draw * 1000.0;
        const double ticks = tickAtMicros(context_.tempo, target) - static_cast<double>(tick);
        move = static_cast<int64_t>(std::trunc(std::clamp(ticks, -1e15, 1e15)));
      } else {
        move = static_cast<int64_t>(std::trunc(draw));
      }
      moves_[g] = std::clamp(move, -limit, limit);
    }
  }

  void placeItems() {
    for (Item& item : items_) {
      if (item.role == Role::kStart || item.role == Role::kFollower) {
        item.newTick = item.tick + moves_[item.link];
      }
      if (item.role == Role::kStart && moves_[item.link] != 0) {
        ++summary_.notesMoved;
        noteMove(item.tick, moves_[item.link]);
      }
    }
    const bool moved = amounts_.time != 0;
    for (size_t i = 0; i < items_.size(); ++i) {
      Item& item = items_[i];
      if (item.role != Role::kEnd || i == 0) continue;
      const Item* note = item.link >= 0 ? &items_[item.link] : nullptr;
      item.newTick = item.tick + (note != nullptr ? note->newTick - note->tick : 0);
      if (note != nullptr && item.paired && item.newTick == note->newTick) {
        item.instant = items_[item.link].instant = true;
      }
      if (!moved) continue;
      const int32_t next = note != nullptr ? nextSameKey_[item.link] : nextForOrphan_[i];
      if (next < 0) continue;
      const Item& following = items_[next];
      // Ending on the next start of the key, the end goes just in front of
      // it, so that any reader pairs the two notes as they were written.
      if (item.newTick >= following.newTick &&
          (note == nullptr || following.newTick > note->newTick)) {
        item.newTick = following.newTick;
        item.place = following.index;
        item.before = 0;
      }
    }
    if (moved) std::sort(items_.begin() + 1, items_.end() - (lastIsEnd() ? 1 : 0), sortsBefore);
    if (lastIsEnd()) {
      Item& last = items_.back();
      last.newTick = std::max(last.tick, items_[items_.size() - 2].newTick);
    }
  }

  bool lastIsEnd() const { return items_.size() > 1 && items_.back().role == Role::kLast; }

  void noteMove(int64_t tick, int64_t move) {
    summary_.largestMoveTicks = std::max(summary_.largestMoveTicks, move < 0 ? -move : move);
    const double from = microsAtTick(context_.tempo, static_cast<double>(tick));
    const double to = microsAtTick(context_.tempo, static_cast<double>(tick + move));
    summary_.largestMoveMs = std::max(summary_.largestMoveMs, std::fabs(to - from) / 1000.0);
  }

  // Links the events in their new order, bends added, with delta times
  // from the new ticks. The head stays where it is.
  void relink() {
    last_ = &slot_.head;
    lastTick_ = items_.front().tick;
    const bool bending = amounts_.cents != 0;
    if (bending) noteHead();
    int64_t runTick = -1;
    for (size_t pos = 1; pos < items_.size(); ++pos) {
      const Item& item = items_[pos];
      if (!bending) {
        append(item.event, item.newTick);
        continue;
      }
      if (item.role == Role::kLast) break;
      if (item.newTick != runTick) {
        restorePending();
        runTick = item.newTick;
        findRunStarts(pos);
      }
      bend(item, pos);
    }
    if (bending) {
      restorePending();
      // Whatever still sounds at the end: the channel goes back all the same;
      // a note that starts on the last tick keeps the file's bend instead,
      // as two bends on one tick would only be the second.
      for (int c = 0; c < 16; ++c) {
        if (bent_[c] && bendTick_[c] == lastTick_) {
          setBend(*onsetBend_[c], fileBend_[c]);
        } else if (bent_[c]) {
          addBend(c, fileBend_[c], lastTick_);
        }
        bent_[c] = false;
      }
      if (lastIsEnd()) {
        Item& end = items_.back();
        end.newTick = std::max(end.newTick, lastTick_);
        append(end.event, end.newTick);
      }
    }
    last_->next = nullptr;
  }

  void noteHead() {
    const Item& head = items_.front();
    const int c = channelOf(*head.event);
    if (head.role == Role::kStart && !head.instant) {
      ++sounding_[c];
      // Nothing goes before the head: its chord keeps the pitch it has.
      bendTick_[c] = head.tick;
    }
    readFileBend(*head.event);
  }

  void readFileBend(const MidiEvent& e) {
    if ((e.status & 0xF0) != 0xE0 || e.dataLength < 2) return;
    const int c = channelOf(e);
    fileBend_[c] = (e.data1 & 0x7F) | ((e.data2 & 0x7F) << 7);
    bent_[c] = false;
    pending_[c] = false;
  }

  // Where each channel's last start on this tick lies: a note ending before
  // it needs no return of the bend, the start brings a bend of its own.
  void findRunStarts(size_t pos) {
    std::fill(std::begin(runStart_), std::end(runStart_), size_t{0});
    for (size_t i = pos; i < items_.size() && items_[i].newTick == items_[pos].newTick; ++i) {
      if (items_[i].role == Role::kStart && !items_[i].instant)
        runStart_[channelOf(*items_[i].event)] = i;
    }
  }

  void bend(const Item& item, size_t pos) {
    const MidiEvent& e = *item.event;
    const int c = channelOf(e);
    readFileBend(e);
    // A return waits behind the other ends on its tick: no bend of ours
    // lands directly in front of a note's end.
    if (item.role != Role::kEnd) restorePending();
    // A note that ends where it starts is never heard: it takes no bend
    // and does not keep the channel sounding.
    if (item.role == Role::kStart && !item.instant) {
      if (c != kDrumChannel && bendTick_[c] != item.newTick) {
        bendTick_[c] = item.newTick;
        const double cents = amounts_.cents * bellDraw(pitchRandom_);
        const int32_t range = bendRangeAt(context_.ranges, c, item.tick);
        if (range > 0) {
          const int32_t units = static_cast<int32_t>(std::trunc(cents * kBendCentre / range));
          onsetBend_[c] = addBend(c, std::clamp(fileBend_[c] + units, 0, kBendMax), item.newTick);
          bent_[c] = true;
        }
      }
      ++sounding_[c];
    } else if (item.role == Role::kEnd && item.paired && !item.instant && sounding_[c] > 0) {
      if (--sounding_[c] == 0 && bent_[c] && runStart_[c] <= pos) pending_[c] = true;
    }
    append(item.event, item.newTick);
  }

  void restorePending() {
    for (int c = 0; c < 16; ++c) {
      if (!pending_[c]) continue;
      pending_[c] = false;
      bent_[c] = false;
      addBend(c, fileBend_[c], lastTick_);
    }
  }

  MidiEvent* addBend(int channel, int32_t value, int64_t tick) {
    MidiEvent* e = newEvent(context_.song);
    e->status = static_cast<uint8_t>(0xE0 | channel);
    e->dataLength = 2;
    setBend(*e, value);
    append(e, tick);
    ++summary_.bendsAdded;
    return e;
  }

  // 14 bits, sent low 7 first.
  static void setBend(MidiEvent& e, int32_t value) {
    e.data1 = static_cast<uint8_t>(value & 0x7F);
    e.data2 = static_cast<uint8_t>(value >> 7);
  }

  void append(MidiEvent* e, int64_t tick) {
    const int64_t delta = tick - lastTick_;
    e->deltaTime = static_cast<uint32_t>(std::min<int64_t>(delta, kMaxDeltaTime));
    last_->next = e;
    last_ = e;
    lastTick_ = tick;
  }

  Context& context_;
  TrackSlot& slot_;
  const MusicalAmounts& amounts_;
  MusicalTrackSummary& summary_;
  MusicalRandom timeRandom_;
  MusicalRandom pitchRandom_;
  std::vector<Item>& items_;
  std::vector<int64_t>& startTicks_;
  std::vector<int64_t>& moves_;
  std::vector<int32_t>& nextSameKey_;
  std::vector<int32_t>& nextForOrphan_;
  int64_t floorTick_ = 0;  // no start moves before this tick
  MidiEvent* last_ = nullptr;
  int64_t lastTick_ = 0;
  int32_t fileBend_[16] = {kBendCentre, kBendCentre, kBendCentre, kBendCentre,
                           kBendCentre, kBendCentre, kBendCentre, kBendCentre,
                           kBendCentre, kBendCentre, kBendCentre, kBendCentre,
                           kBendCentre, kBendCentre, kBendCentre, kBendCentre};
  bool bent_[16] = {};
  bool pending_[16] = {};
  int32_t sounding_[16] = {};
  int64_t bendTick_[16] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  size_t runStart_[16] = {};
  MidiEvent* onsetBend_[16] = {};  // each channel's last bend before a start
};

// Whether every delta time after the head leaves room for two moves: an
// event moved later after one moved earlier widens their gap by as much, and
// a delta time past kMaxDeltaTime cannot be written (held there, it would
// pull every later event early).
bool leavesRoomToMove(const TrackSlot& slot) {
  for (const MidiEvent* e = slot.head.next; e != nullptr; e = e->next) {
    if (int64_t{e->deltaTime} > int64_t{kMaxDeltaTime} - 2 * kMaxMoveTicks) return false;
  }
  return true;
}

}  // namespace

void musicalPress(Song& song, const std::vector<MusicalAmounts>& amounts, uint32_t seed,
                  std::vector<MusicalTrackSummary>* summaries) {
  const int32_t tracks = allTrackCount(song);
  if (summaries != nullptr) summaries->assign(tracks, MusicalTrackSummary());
  // Tempo and bend ranges are read once, from the song as loaded: the press
  // moves neither tempo changes nor the parameter messages that set ranges
  // off their ticks, and every track's draws are made against the same map.
  Context context{song, buildTempoMap(song), buildBendRanges(song)};
  for (int32_t t = 0; t < tracks && t < static_cast<int32_t>(amounts.size()); ++t) {
    TrackSlot& slot = trackAt(song, t);
    MusicalAmounts a = amounts[t];
    // Only a damaged or made-up file has such a gap: its track keeps its timing.
    if (a.time != 0 && !leavesRoomToMove(slot)) a.time = 0;
    MusicalTrackSummary summary;
    if (a.velocity != 0) {
      MusicalRandom random =
          musicalStream(seed, MusicalStream::kVelocity, static_cast<uint32_t>(t));
      summary.velocitiesChanged = applyVelocityShift(slot, a.velocity, random);
    }
    if (a.time != 0 || a.cents != 0) {
      // Events change places and bends come between them: each must carry
      // its own status byte.
      expandRunningStatus(slot);
      TrackPress(context, slot, a, seed, static_cast<uint32_t>(t), summary).run();
    }
    if (summaries != nullptr) (*summaries)[t] = summary;
  }
}
