#include "support/press_check.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <sstream>
#include <unordered_map>

#include "song/midi.h"
#include "song/song_tracks.h"
#include "support/midi_builder.h"
#include "transform/musical_press.h"

namespace {

template <typename... Parts>
std::string say(const Parts&... parts) {
  std::ostringstream text;
  (text << ... << parts);
  return text.str();
}

ChannelMessage message(const Heard& e) { return {e.channel, e.status, e.d1, e.d2}; }
bool isStart(const Heard& e) { return isNoteStart(message(e)); }
bool isEnd(const Heard& e) { return isNoteEnd(message(e)); }
bool isBend(const Heard& e) { return e.channel && messageKind(e.status) == kPitchBend; }
int channel(const Heard& e) { return channelOf(e.status); }
// A key byte of 0x80 or more counts by its low seven bits, on its own channel.
int key(const Heard& e) { return (channel(e) << 7) | (e.d1 & 0x7F); }
int bendValue(const Heard& e) { return (e.d1 & 0x7F) | ((e.d2 & 0x7F) << 7); }

std::vector<Heard> hear(const TrackSlot& slot) {
  std::vector<Heard> out;
  int64_t tick = 0;
  uint8_t running = 0;
  for (const MidiEvent* e = &slot.head; e != nullptr; e = e->next) {
    const ChannelMessage m = readChannelMessage(*e, running);
    Heard h{
        e, tick += e->deltaTime, e->deltaTime, e->status, m.isChannel, m.status, m.data1, m.data2,
        {}};
    if (!m.isChannel) {
      h.bytes = {e->status, e->data1, e->data2, static_cast<uint8_t>(e->dataLength)};
      for (int i = 2; i < e->dataLength; ++i) h.bytes.push_back(e->extra[i - 2]);
    }
    out.push_back(h);
  }
  return out;
}

// Where each event of `in` went in `out`: its tick and position, the
// originals in out's order, and the events added.
struct Match {
  std::vector<int64_t> tick;
  std::vector<size_t> pos, order, added;
};

// Every original event kept once, sounding as it did but for a Note On's
// velocity, which may change by up to `velocity` into 1..127; on a track
// without amounts (`off`) with its very delta and status byte.
std::string matchProblem(const std::vector<Heard>& in, const std::vector<Heard>& out, int velocity,
                         bool off, Match& m) {
  std::unordered_map<const MidiEvent*, size_t> indexOf;
  for (size_t i = 0; i < in.size(); ++i) indexOf[in[i].ptr] = i;
  m.tick.assign(in.size(), -1);
  m.pos.assign(in.size(), 0);
  for (size_t k = 0; k < out.size(); ++k) {
    const auto found = indexOf.find(out[k].ptr);
    if (found == indexOf.end()) {
      m.added.push_back(k);
      continue;
    }
    const size_t i = found->second;
    const Heard &was = in[i], &now = out[k];
    if (m.tick[i] >= 0) return say("event ", i, " twice");
    m.tick[i] = now.tick, m.pos[i] = k;
    m.order.push_back(i);
    const bool velocityMay = velocity != 0 && isStart(was) && was.d2 <= 127;
    if (was.channel != now.channel || was.status != now.status || was.d1 != now.d1 ||
        was.bytes != now.bytes || (was.d2 != now.d2 && !velocityMay))
      return say("event ", i, " changed its bytes");
    if (velocityMay && (std::abs(now.d2 - was.d2) > velocity || now.d2 < 1 || now.d2 > 127))
      return say("velocity ", int(was.d2), " became ", int(now.d2));
    if (off && (now.delta != was.delta || now.stored != was.stored))
      return say("event ", i, " of a track without amounts changed");
  }
  if (m.order.size() != in.size()) return say(in.size() - m.order.size(), " events lost");
  return "";
}

std::string classicTrackProblem(const std::vector<Heard>& in, const std::vector<Heard>& out,
                                const TrackSlot& slot, int velocity) {
  Match m;
  const int64_t a = slot.timeShift, p = slot.pitchShift;
  if (std::string problem = matchProblem(in, out, velocity, a == 0 && p == 0 && velocity == 0, m);
      !problem.empty())
    return problem;
  for (size_t i = 0; i < in.size(); ++i) {
    if (m.order[i] != i) return say("event ", i, " out of order");
    const int64_t move = m.tick[i] - in[i].tick;
    if (move < -a || move > std::max<int64_t>(a - 1, 0)) return say("event ", i, " moved ", move);
  }
  for (const size_t k : m.added) {
    const Heard& bend = out[k];
    const Heard* note = k + 1 < out.size() ? &out[k + 1] : nullptr;
    if (note == nullptr || !note->channel || messageKind(note->status) != kNoteOn ||
        note->tick != bend.tick || bend.status != (0xE0 | channel(*note)) || bend.stored < 0x80)
      return say("event ", k, " added is no bend right before a Note On of its channel");
    if (bend.ptr->dataLength != 2 || bend.d1 != 0 || bend.d2 == 0 || bend.d2 < 64 - p ||
        bend.d2 > 63 + p)
      return say("a bend of ", int(bend.d2), " for amount ", p);
  }
  return "";
}

// The narrowest bend range each channel may have (cents): 2 semitones, or
// less where any Data Entry on the channel says so. A bend within the amount
// against it is within the amount against the range in force.
std::vector<int> narrowestRanges(const SongHeard& all) {
  std::vector<int> narrowest(16, 200);
  for (const auto& track : all) {
    for (const Heard& e : track) {
      if (e.channel && messageKind(e.status) == kControlChange && e.d1 == 6)
        narrowest[channel(e)] = std::min(narrowest[channel(e)], e.d2 * 100);
    }
  }
  return narrowest;
}

// Pairs each end with the earliest sounding note of its key: note start
// index -> end index, over the events of `order`.
std::map<size_t, size_t> pairNotes(const std::vector<Heard>& events,
                                   const std::vector<size_t>& order) {
  std::unordered_map<int, std::deque<size_t>> open;
  std::map<size_t, size_t> pairs;
  for (size_t i : order) {
    std::deque<size_t>& sounding = open[key(events[i])];
    if (isStart(events[i])) sounding.push_back(i);
    if (isEnd(events[i]) && !sounding.empty()) {
      pairs[sounding.front()] = i;
      sounding.pop_front();
    }
  }
  return pairs;
}

// One musically pressed track: every event kept, only bends added (never on
// channel 10), End of Track still last; then starts, lengths, the events
// around them, and bends, each below.
std::string musicalTrackProblem(const std::vector<Heard>& in, const std::vector<Heard>& out,
                                const TrackAmounts& a, const std::vector<int>& ranges) {
  Match m;
  const bool off = a.time == 0 && a.pitch == 0 && a.velocity == 0;
  if (std::string problem = matchProblem(in, out, a.velocity, off, m); !problem.empty())
    return problem;
  const std::vector<int64_t>& tick = m.tick;
  for (const size_t k : m.added) {
    if (!isBend(out[k]) || a.pitch == 0 || channel(out[k]) == 9)
      return say("event ", k, " added that is not a bend on a bent channel");
  }
  const bool endsTrack = in.size() > 1 && in.back().bytes.size() >= 2 && in.back().bytes[1] == 0x2F;
  if (endsTrack && (out.back().ptr != in.back().ptr || tick.back() < in.back().tick))
    return "End of Track not last, or earlier";

  // Starts: one move per written tick (chords together), less than half the
  // way to the neighbouring start ticks (so in order) and, for ticks, within
  // the amount. An amount in ms goes through the tempo map, which a worked
  // example tests; the spread of the moves is the draw's.
  int64_t lastTick = -1, groupMove = 0;
  for (size_t i = 0; i < in.size(); ++i) {
    if (!isStart(in[i])) continue;
    const int64_t move = tick[i] - in[i].tick;
    if (in[i].tick == lastTick && move != groupMove) return say("chord at ", lastTick, " split");
    if (in[i].tick == lastTick) continue;
    const int64_t gap = in[i].tick - lastTick;
    if (lastTick >= 0 && std::max(std::abs(move), std::abs(groupMove)) * 2 >= gap)
      return say("start at ", in[i].tick, " moved half way to the one before");
    lastTick = in[i].tick, groupMove = move;
    if (!a.timeInMs && std::abs(move) > a.time)
      return say("start at ", in[i].tick, " moved by ", move);
  }

  // Lengths kept, or on a moved track cut short to end on a later start of
  // their key, in front of it (a synth would stop that note otherwise); pairs
  // as written. A track too sparse to move keeps its order as written.
  bool moved = false;
  for (size_t i = 0; i < in.size(); ++i) moved = moved || tick[i] != in[i].tick;
  std::vector<size_t> inOrder(in.size());
  for (size_t i = 0; i < in.size(); ++i) inOrder[i] = i;
  const std::map<size_t, size_t> pairs = pairNotes(in, inOrder);
  if (pairNotes(in, m.order) != pairs) return "notes pair up differently after the press";
  std::map<std::pair<int, int64_t>, size_t> startAt;  // key, tick: where its first start went
  for (size_t i = 0; i < in.size(); ++i) {
    if (!isStart(in[i])) continue;
    startAt.try_emplace({key(in[i]), tick[i]}, m.pos[i]);  // in order: the first is first
  }
  for (const auto& [start, end] : pairs) {
    const int64_t length = in[end].tick - in[start].tick, now = tick[end] - tick[start];
    const auto next = startAt.find({key(in[start]), tick[end]});
    const bool onNext = moved && now > 0 && next != startAt.end();
    if (onNext && next->second < m.pos[end])
      return say("note at ", in[start].tick, " ends behind the next of its key");
    if (now != length && !(onNext && now < length))
      return say("note at ", in[start].tick, " long ", length, " now ", now);
  }

  // Channel messages in front of a start on its tick go with it; other
  // events that are not notes keep their tick and their order.
  size_t lastFixedPos = 0;
  for (size_t first = 0, end = 0; first < in.size(); first = end) {
    size_t lastStart = in.size();
    for (end = first; end < in.size() && in[end].tick == in[first].tick; ++end) {
      if (isStart(in[end])) lastStart = end;
    }
    for (size_t i = first; i < end; ++i) {
      if (isStart(in[i]) || isEnd(in[i]) || (i + 1 == in.size() && endsTrack)) continue;
      if (in[i].channel && lastStart < in.size() && i < lastStart) {
        if (tick[i] != tick[lastStart] || m.pos[i] > m.pos[lastStart])
          return say("event ", i, " left the note in front of which it stood");
      } else if (tick[i] != in[i].tick || m.pos[i] < lastFixedPos) {
        return say("event ", i, " moved off its tick or out of order");
      } else {
        lastFixedPos = m.pos[i];
      }
    }
  }

  // Bends: ours one per channel and tick, never in front of an end, within
  // the amount of the file's bend before a start, back to it at every rest.
  std::vector<int> file(16, 8192), now(16, 8192), sounding(16), open(16 * 128);
  std::vector<int64_t> quietAt(16, -1), ours(16, -1);
  for (size_t k = 0, added = 0; k < out.size(); ++k) {
    const Heard& e = out[k];
    for (int c = 0; c < 16; ++c) {
      if (quietAt[c] >= 0 && e.tick > quietAt[c] && sounding[c] == 0) {
        if (now[c] != file[c]) return say("channel ", c + 1, " left bent after tick ", quietAt[c]);
        quietAt[c] = -1;
      }
    }
    const int c = channel(e);
    if (added < m.added.size() && m.added[added] == k) {
      ++added;
      if (ours[c] == e.tick) return say("two bends on channel ", c + 1, " at tick ", e.tick);
      ours[c] = e.tick;
      const Heard* next = k + 1 < out.size() ? &out[k + 1] : nullptr;
      const bool onNote = next != nullptr && channel(*next) == c && next->tick == e.tick;
      if (onNote && isEnd(*next)) return say("bend in front of a note's end at tick ", e.tick);
      if (onNote && isStart(*next)) {
        const double cents = std::fabs(bendValue(e) - file[c]) * ranges[c] / 8192.0;
        if (cents > a.pitch + 1e-9) return say("bend of ", cents, " cents at tick ", e.tick);
      } else if (bendValue(e) != file[c]) {
        return say("a bend at tick ", e.tick, " that is neither a start's nor a return");
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
  return now == file ? "" : "a channel left bent at the end";
}

}  // namespace

SongHeard hearSong(const Song& song) {
  SongHeard all;
  for (int t = 0; t < allTrackCount(song); ++t) all.push_back(hear(trackAt(song, t)));
  return all;
}

std::string classicPressProblem(const SongHeard& before, const Song& after,
                                const std::vector<int32_t>& velocity) {
  if (static_cast<int>(before.size()) != allTrackCount(after)) return "the track count changed";
  for (size_t t = 0; t < before.size(); ++t) {
    const TrackSlot& slot = trackAt(after, static_cast<int>(t));
    const std::string problem =
        classicTrackProblem(before[t], hear(slot), slot, t < velocity.size() ? velocity[t] : 0);
    if (!problem.empty()) return say("track ", t + 1, ": ", problem);
  }
  return "";
}

std::string musicalPressProblem(const std::vector<uint8_t>& image,
                                const std::vector<TrackAmounts>& amounts, uint32_t seed) {
  const SongHeard before = hearSong(loadSong(image));
  musicalPress(*testSong, amounts, seed);
  const SongHeard after = hearSong(*testSong);
  for (size_t t = 0; t < before.size(); ++t) {
    const std::string problem =
        musicalTrackProblem(before[t], after[t], t < amounts.size() ? amounts[t] : TrackAmounts(),
                            narrowestRanges(before));
    if (!problem.empty()) return say("track ", t + 1, ": ", problem);
  }
  const std::vector<uint8_t> first = saveSong();
  musicalPress(loadSong(image), amounts, seed);
  return saveSong() == first ? "" : "the same seed gave other bytes";
}

std::string writtenFileProblem(const std::vector<uint8_t>& unpressed,
                               const std::vector<uint8_t>& written) {
  const std::vector<FilePiece> was = loadSong(unpressed).pieces;
  const int tracks = allTrackCount(*testSong);
  if (std::string problem = fixedPointProblem(written.data(), written.size()); !problem.empty())
    return "written file: " + problem;
  if (allTrackCount(*testSong) != tracks)
    return say("the written file holds ", allTrackCount(*testSong), " tracks, not ", tracks);
  const std::vector<FilePiece>& now = testSong->pieces;
  for (size_t i = 0; i < std::max(was.size(), now.size()); ++i) {
    if (i >= was.size() || i >= now.size() || was[i].kind != now[i].kind ||
        was[i].index != now[i].index || was[i].bytes != now[i].bytes)
      return say("the written file's piece ", i, " is not as it was");
  }
  return "";
}
