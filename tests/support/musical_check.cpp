#include "support/musical_check.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <sstream>
#include <unordered_map>

#include "song/song.h"
#include "support/midi_builder.h"
#include "transform/musical_press.h"

namespace {

// One event as a player hears it: its tick and, for channel messages, the
// message with running status resolved; other events by their bytes.
struct Ev {
  const MidiEvent* ptr;
  int64_t tick;
  bool channel;
  uint8_t status, d1, d2;
  std::vector<uint8_t> bytes;
  uint32_t delta;
};

bool isStart(const Ev& e) { return e.channel && (e.status & 0xF0) == 0x90 && e.d2 != 0; }
bool isEnd(const Ev& e) {
  return e.channel && ((e.status & 0xF0) == 0x80 || ((e.status & 0xF0) == 0x90 && e.d2 == 0));
}
bool isBend(const Ev& e) { return e.channel && (e.status & 0xF0) == 0xE0; }
int channel(const Ev& e) { return e.status & 0x0F; }
// A key byte of 0x80 or more counts by its low seven bits, on its own channel.
int key(const Ev& e) { return (channel(e) << 7) | (e.d1 & 0x7F); }
int bendValue(const Ev& e) { return (e.d1 & 0x7F) | ((e.d2 & 0x7F) << 7); }

std::vector<Ev> snapshot(const TrackSlot& slot) {
  std::vector<Ev> out;
  int64_t tick = 0;
  uint8_t running = 0;
  for (const MidiEvent* e = &slot.head; e != nullptr; e = e->next) {
    tick += e->deltaTime;
    Ev ev{e, tick, false, e->status, e->data1, e->data2, {}, e->deltaTime};
    if (e->status >= 0x80 && e->status < 0xF0) {
      running = e->status;
      ev.channel = true;
    } else if (e->status < 0x80 && running != 0) {
      ev = {e, tick, true, running, e->status, e->data1, {}, e->deltaTime};
    }
    if (!ev.channel) {
      ev.bytes = {e->status, e->data1, e->data2, static_cast<uint8_t>(e->dataLength)};
      for (int i = 2; i < e->dataLength; ++i) ev.bytes.push_back(e->extra[i - 2]);
    }
    out.push_back(ev);
  }
  return out;
}

using SongEvents = std::vector<std::vector<Ev>>;

SongEvents snapshotSong(const Song& song) {
  SongEvents all;
  for (int t = 0; t < song.trackCount; ++t) all.push_back(snapshot(song.tracks[t]));
  for (const TrackSlot& slot : song.extraTracks) all.push_back(snapshot(slot));
  return all;
}

// The narrowest bend range each channel may have (cents): 2 semitones, or
// less where any Data Entry on the channel says so. A bend within the amount
// against it is within the amount against the range in force.
std::vector<int> narrowestRanges(const SongEvents& all) {
  std::vector<int> narrowest(16, 200);
  for (const auto& track : all) {
    for (const Ev& e : track) {
      if (e.channel && (e.status & 0xF0) == 0xB0 && e.d1 == 6)
        narrowest[channel(e)] = std::min(narrowest[channel(e)], e.d2 * 100);
    }
  }
  return narrowest;
}

struct Failure {
  std::ostringstream text;
  bool failed = false;
  std::ostream& add() {
    if (failed) text << "; ";
    failed = true;
    return text;
  }
};

// Pairs each end with the earliest sounding note of its key: note start
// index -> end index, over the events of `order` that are starts and ends.
std::map<size_t, size_t> pairNotes(const std::vector<Ev>& events,
                                   const std::vector<size_t>& order) {
  std::unordered_map<int, std::deque<size_t>> open;  // only the keys the track plays
  std::map<size_t, size_t> pairs;
  for (size_t i : order) {
    if (isStart(events[i])) open[key(events[i])].push_back(i);
    if (isEnd(events[i]) && !open[key(events[i])].empty()) {
      pairs[open[key(events[i])].front()] = i;
      open[key(events[i])].pop_front();
    }
  }
  return pairs;
}

void checkTrack(const std::vector<Ev>& in, const std::vector<Ev>& out, const MusicalAmounts& a,
                const std::vector<int>& ranges, Failure& fail) {
  const bool off = a.time == 0 && a.cents == 0 && a.velocity == 0;
  std::unordered_map<const MidiEvent*, size_t> indexOf;
  for (size_t i = 0; i < in.size(); ++i) indexOf[in[i].ptr] = i;
  std::vector<int64_t> tick(in.size(), -1);
  std::vector<size_t> pos(in.size()), order;
  for (size_t k = 0; k < out.size(); ++k) {
    const Ev& e = out[k];
    auto found = indexOf.find(e.ptr);
    if (found == indexOf.end()) {
      if (!isBend(e) || a.cents == 0 || channel(e) == 9) {
        fail.add() << "event " << k << " added that is not a bend on a bent channel";
        return;
      }
      continue;
    }
    const size_t i = found->second;
    if (tick[i] >= 0) {
      fail.add() << "event " << i << " twice";
      return;
    }
    tick[i] = e.tick, pos[i] = k;
    order.push_back(i);
    const Ev& was = in[i];
    if (off && (e.delta != was.delta || e.ptr->status != was.ptr->status)) {
      fail.add() << "event " << i << " of a track without amounts changed";
    }
    const bool velocityMay = a.velocity != 0 && isStart(was) && was.d2 <= 127;
    if (was.channel != e.channel || was.status != e.status || was.d1 != e.d1 ||
        was.bytes != e.bytes || (was.d2 != e.d2 && !velocityMay)) {
      fail.add() << "event " << i << " changed its bytes";
      return;
    }
    if (velocityMay && (std::abs(e.d2 - was.d2) > a.velocity || e.d2 < 1 || e.d2 > 127)) {
      fail.add() << "velocity " << int(was.d2) << " became " << int(e.d2);
    }
  }
  if (order.size() != in.size()) {
    fail.add() << in.size() - order.size() << " events lost";
    return;
  }
  const bool endsTrack = in.size() > 1 && in.back().bytes.size() >= 2 && in.back().bytes[1] == 0x2F;
  if (endsTrack && (out.back().ptr != in.back().ptr || tick.back() < in.back().tick)) {
    fail.add() << "End of Track not last, or earlier";
  }

  // Starts: one move per written tick, within the amount and the order. An
  // amount in milliseconds goes through the tempo map, whose worked example is
  // a test of its own: here it is held to the order only.
  std::vector<double> moves;
  int64_t lastTick = -1, lastNew = -1, groupMove = 0;
  for (size_t i = 0; i < in.size(); ++i) {
    if (!isStart(in[i])) continue;
    const int64_t move = tick[i] - in[i].tick;
    if (in[i].tick == lastTick) {
      if (move != groupMove) fail.add() << "chord at tick " << lastTick << " split";
      continue;
    }
    if (tick[i] <= lastNew)
      fail.add() << "start at tick " << in[i].tick << " not after the one before";
    lastTick = in[i].tick, lastNew = tick[i], groupMove = move;
    if (a.timeInMs) continue;
    if (std::abs(move) > a.time) fail.add() << "start at " << in[i].tick << " moved by " << move;
    moves.push_back(static_cast<double>(move));
  }
  // Unbiased: the mean within five standard errors of 0 (a move's spread is
  // at most a third of the amount), so that no seed fails by chance.
  if (a.time != 0 && moves.size() >= 100) {
    double sum = 0;
    size_t far = 0;
    for (double m : moves) sum += m, far += std::fabs(m) > 0.75 * a.time;
    const double mean = sum / moves.size(), bound = 5 * a.time / 3.0 / std::sqrt(moves.size());
    if (std::fabs(mean) > bound) fail.add() << "mean move " << mean;
    if (far * 10 > moves.size()) fail.add() << far << " of " << moves.size() << " starts moved far";
  }

  // Lengths kept, or cut at the next start of the key; pairs as written.
  std::vector<size_t> inOrder(in.size());
  for (size_t i = 0; i < in.size(); ++i) inOrder[i] = i;
  const std::map<size_t, size_t> pairs = pairNotes(in, inOrder);
  if (pairNotes(in, order) != pairs) fail.add() << "notes pair up differently after the press";
  // From the end: the next start of each key, and the next on a later tick.
  std::vector<size_t> nearest(16 * 128, in.size()), later(16 * 128, in.size());
  for (size_t i = in.size(); i-- > 0;) {
    if (!isStart(in[i])) continue;
    const int k = key(in[i]);
    if (nearest[k] < in.size() && in[nearest[k]].tick > in[i].tick) later[k] = nearest[k];
    nearest[k] = i;
    const size_t next = later[k];
    auto note = pairs.find(i);
    if (note == pairs.end()) continue;
    const size_t end = note->second;
    const int64_t length = in[end].tick - in[i].tick, now = tick[end] - tick[i];
    const bool cut = next < in.size() && a.time != 0 && tick[end] == tick[next] &&
                     in[end].tick + (tick[i] - in[i].tick) >= tick[next];
    if (now != length && !cut)
      fail.add() << "note at " << in[i].tick << " long " << length << " now " << now;
    if (length > 0 && now <= 0) fail.add() << "note at " << in[i].tick << " ends at its start";
  }

  // Channel messages in front of a start on its tick go with it; other
  // events that are not notes keep their tick and their order.
  size_t lastFixedPos = 0;
  for (size_t first = 0; first < in.size();) {
    size_t end = first, lastStart = in.size();
    for (; end < in.size() && in[end].tick == in[first].tick; ++end) {
      if (isStart(in[end])) lastStart = end;
    }
    for (size_t i = first; i < end; ++i) {
      if (isStart(in[i]) || isEnd(in[i]) || (i + 1 == in.size() && endsTrack)) continue;
      if (in[i].channel && lastStart < in.size() && i < lastStart) {
        if (tick[i] != tick[lastStart] || pos[i] > pos[lastStart]) {
          fail.add() << "event " << i << " left the note in front of which it stood";
        }
      } else if (tick[i] != in[i].tick || (i > 0 && pos[i] < lastFixedPos)) {
        fail.add() << "event " << i << " moved off its tick or out of order";
      } else {
        lastFixedPos = pos[i];
      }
    }
    first = end;
  }

  // Bends: ours one per channel and tick, never in front of an end, within
  // the amount of the file's bend before a start, back to it at every rest.
  int file[16], now[16], sounding[16];
  int64_t quietAt[16], ours[16];
  std::fill_n(file, 16, 8192), std::fill_n(now, 16, 8192), std::fill_n(sounding, 16, 0),
      std::fill_n(quietAt, 16, -1), std::fill_n(ours, 16, -1);
  std::vector<int> open(16 * 128);
  for (size_t k = 0; k < out.size(); ++k) {
    const Ev& e = out[k];
    for (int c = 0; c < 16; ++c) {
      if (quietAt[c] >= 0 && e.tick > quietAt[c] && sounding[c] == 0) {
        if (now[c] != file[c])
          fail.add() << "channel " << c + 1 << " left bent after tick " << quietAt[c];
        quietAt[c] = -1;
      }
    }
    const int c = channel(e);
    if (!indexOf.count(e.ptr)) {
      if (ours[c] == e.tick)
        fail.add() << "two bends on channel " << c + 1 << " at tick " << e.tick;
      ours[c] = e.tick;
      const Ev* next = k + 1 < out.size() ? &out[k + 1] : nullptr;
      if (next != nullptr && isEnd(*next) && channel(*next) == c && next->tick == e.tick) {
        fail.add() << "bend in front of a note's end at tick " << e.tick;
      }
      if (next != nullptr && isStart(*next) && channel(*next) == c && next->tick == e.tick) {
        const double cents = std::fabs(bendValue(e) - file[c]) * ranges[c] / 8192.0;
        if (cents > a.cents + 1e-9)
          fail.add() << "bend of " << cents << " cents at tick " << e.tick;
      } else if (bendValue(e) != file[c]) {
        fail.add() << "a bend at tick " << e.tick << " that is neither a start's nor a return";
      }
      now[c] = bendValue(e);
    } else if (isBend(e)) {
      file[c] = now[c] = bendValue(e);
    } else if (isStart(e)) {
      ++sounding[c];
      ++open[key(e)];
    } else if (isEnd(e) && open[key(e)] > 0) {
      --open[key(e)];
      if (--sounding[c] == 0) quietAt[c] = e.tick;
    }
  }
  for (int c = 0; c < 16; ++c) {
    if (now[c] != file[c]) fail.add() << "channel " << c + 1 << " left bent at the end";
  }
}

}  // namespace

std::string musicalPressProblem(const uint8_t* image, size_t size,
                                const std::vector<MusicalAmounts>& amounts, uint32_t seed) {
  const std::vector<uint8_t> bytes(image, image + size);
  loadSong(bytes);
  const SongEvents before = snapshotSong(*currentSong);
  const std::vector<int> ranges = narrowestRanges(before);
  musicalPress(*currentSong, amounts, seed);
  const SongEvents after = snapshotSong(*currentSong);
  for (size_t t = 0; t < before.size(); ++t) {
    Failure fail;
    checkTrack(before[t], after[t], t < amounts.size() ? amounts[t] : MusicalAmounts(), ranges,
               fail);
    if (fail.failed)
      return "track " + std::to_string(t + 1) + ": " + fail.text.str().substr(0, 500);
  }
  const std::vector<uint8_t> first = saveSong();
  musicalPress(loadSong(bytes), amounts, seed);
  if (saveSong() != first) return "the same seed gave other bytes";
  return "";
}
