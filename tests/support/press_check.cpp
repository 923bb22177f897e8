#include "support/press_check.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <set>
#include <sstream>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "song/midi.h"
#include "song/song_tracks.h"
#include "support/midi_builder.h"
#include "transform/classic_press.h"
#include "transform/musical_press.h"
#include "transform/tempo_map.h"

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

// Where each event of `in` went in `out`: its tick and position, the originals in out's order, and
// the events added.
struct Match {
  std::vector<int64_t> tick;
  std::vector<size_t> pos, order, added;
  int32_t velocitiesChanged = 0;
};

// Every original event kept once, sounding as it did but for a Note On's velocity, which may change
// by up to `velocity` into 1..127; on a track without amounts (`off`) with its very delta and
// status byte.
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
    m.velocitiesChanged += was.d2 != now.d2;
    if (off && (now.delta != was.delta || now.stored != was.stored))
      return say("event ", i, " of a track without amounts changed");
  }
  if (m.order.size() != in.size()) return say(in.size() - m.order.size(), " events lost");
  return "";
}

std::string classicTrackProblem(const std::vector<Heard>& in, const std::vector<Heard>& out,
                                const TrackSlot& slot, int32_t velocitiesCounted) {
  Match m;
  const int64_t a = slot.timeShift, p = slot.pitchShift, v = slot.velocityShift;
  if (std::string problem = matchProblem(in, out, v, a == 0 && p == 0 && v == 0, m);
      !problem.empty())
    return problem;
  if (m.velocitiesChanged != velocitiesCounted)
    return say(m.velocitiesChanged, " velocities changed, ", velocitiesCounted, " counted");
  for (size_t i = 0; i < in.size(); ++i) {
    if (m.order[i] != i) return say("event ", i, " out of order");
    const int64_t move = m.tick[i] - in[i].tick;
    if (move < -a || move > std::max<int64_t>(a - 1, 0)) return say("event ", i, " moved ", move);
  }
  for (const size_t k : m.added)  // where and what a bend is, the worked examples show
    if (!isBend(out[k]) || p == 0) return say("event ", k, " added is no bend of a bent track");
  return "";
}

// The narrowest bend range each channel may have (cents): 2 semitones, or less where any Data Entry
// on the channel says so. A bend within the amount against it is within the amount against the
// range in force.
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

// Pairs each end with the earliest sounding note of its key: note start index -> end index, over
// the events in `order` (none: as read).
std::map<size_t, size_t> pairNotes(const std::vector<Heard>& events, std::vector<size_t> order) {
  for (size_t i = 0; order.size() < events.size(); ++i) order.push_back(i);
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

// A note of a musically pressed song, as read and as pressed.
struct Note {
  int track, channel;
  size_t start, end;  // indexes as read; end == npos: never ends
  int64_t from, to, fromEnd, toEnd;
};

// Where each track's events went, and its notes.
struct Pressed {
  std::vector<Match> match;
  std::vector<Note> notes;
};

// One musically pressed track: every event kept, only bends added (never on channel 10), End of
// Track still last, notes paired as written; lengths kept, cut short to end on a later start of
// their key, in front of it (a synth would stop that note otherwise), joined: ended on a later
// start of their channel on whose tick they were written to end, or held behind the end of their
// key before them, which had to stay first; and the channel messages in front of a start of their
// channel on its tick go with it, other events that are not notes keep their tick and their order.
std::string musicalTrackProblem(const std::vector<Heard>& in, const std::vector<Heard>& out,
                                const TrackAmounts& a, int track, Pressed& p) {
  Match& m = p.match.emplace_back();
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
  // A track whose notes stay (too sparse to move, or held by others on their channels) keeps its
  // order as written.
  bool moved = false;
  for (size_t i = 0; i < in.size(); ++i) moved = moved || (isStart(in[i]) && tick[i] != in[i].tick);
  const std::map<size_t, size_t> pairs = pairNotes(in, {});
  if (pairNotes(in, m.order) != pairs) return "notes pair up differently after the press";
  std::map<std::pair<int, int64_t>, size_t> startAt,
      channelAt;                               // key or channel, tick: first start
  std::map<int, int64_t> endTick;              // key: the tick its end read last went to
  std::vector<int64_t> heldTo(in.size(), -1);  // an end: that of its key's end read before it
  for (size_t i = 0; i < in.size(); ++i) {
    if (isEnd(in[i]))
      heldTo[i] = std::exchange(endTick.try_emplace(key(in[i]), -1).first->second, tick[i]);
    if (!isStart(in[i])) continue;
    startAt.try_emplace({key(in[i]), tick[i]}, m.pos[i]);  // in order: the first is first
    channelAt.try_emplace({channel(in[i]), in[i].tick}, i);
  }
  for (size_t i = 0; i < in.size(); ++i) {
    if (!isStart(in[i])) continue;
    const auto found = pairs.find(i);
    const size_t end = found == pairs.end() ? std::string::npos : found->second;
    p.notes.push_back({track, channel(in[i]), i, end, in[i].tick, tick[i], INT64_MAX,
                       end == std::string::npos ? INT64_MAX : tick[end]});
    if (end == std::string::npos) continue;
    const int64_t length = in[end].tick - in[i].tick, now = tick[end] - tick[i];
    const auto next = startAt.find({key(in[i]), tick[end]});
    const bool onNext = moved && now > 0 && next != startAt.end();
    if (onNext && next->second < m.pos[end])
      return say("note at ", in[i].tick, " ends behind the next of its key");
    const auto join = channelAt.find({channel(in[i]), in[end].tick});
    const bool joins = moved && length > 0 && join != channelAt.end();
    const bool joined =
        joins && tick[join->second] == tick[end] && m.pos[end] < m.pos[join->second];
    // Of two notes of one key sounding together, the later end may be held to the earlier.
    const bool behind = now > length && tick[end] == heldTo[end];
    if ((now != length || joins) && !(onNext && (now < length || joins)) && !joined && !behind)
      return say("note at ", in[i].tick, " long ", length, " now ", now);
    // An end on a later start of its key is cut there, though it may happen to keep its length.
    if (length > 0 && now == length && !onNext) p.notes.back().fromEnd = in[end].tick;
  }
  size_t lastFixedPos = 0;
  for (size_t i = 0; i < in.size(); ++i) {
    if (isStart(in[i]) || isEnd(in[i]) || (i + 1 == in.size() && endsTrack)) continue;
    size_t start = i + 1;
    while (start < in.size() && in[start].tick == in[i].tick &&
           !(isStart(in[start]) && channel(in[start]) == channel(in[i])))
      ++start;
    if (in[i].channel && start < in.size() && in[start].tick == in[i].tick) {
      if (tick[i] != tick[start] || m.pos[i] > m.pos[start])
        return say("event ", i, " left the note in front of which it stood");
    } else if (tick[i] != in[i].tick || m.pos[i] < lastFixedPos) {
      return say("event ", i, " moved off its tick or out of order");
    } else {
      lastFixedPos = m.pos[i];
    }
  }
  return "";
}

// Onsets, song-wide: the notes of one channel on one tick move together; successive onsets of a
// channel keep their gap to the tick within 30 ms of each other, else within half to one and a half
// times; in ticks no onset moves by more than the smallest amount of its tracks, and onsets of one
// tick on several channels with the same amount end up at most that apart. No start, nor an end
// that keeps its length, crosses a bend, program change or pedal change of its channel that stood
// on another tick.
std::string onsetProblem(const SongHeard& in, const Pressed& p,
                         const std::vector<TrackAmounts>& amounts, const TempoMap& tempo,
                         bool enoughMovement) {
  std::map<std::pair<int, int64_t>, std::pair<int64_t, int64_t>> onsets;  // move, amount
  for (const Note& n : p.notes) {
    const TrackAmounts a = n.track < int(amounts.size()) ? amounts[n.track] : TrackAmounts();
    const int64_t amount = a.timeInMs ? INT64_MAX : a.time;
    const auto [it, fresh] = onsets.try_emplace({n.channel, n.from}, n.to - n.from, amount);
    if (!fresh && it->second.first != n.to - n.from) return say("onset at ", n.from, " split");
    it->second.second = std::min(it->second.second, amount);
  }
  int64_t largest = 0;
  std::map<std::pair<int64_t, int64_t>, std::pair<int64_t, int64_t>> spread;  // tick, amount: moves
  for (auto it = onsets.begin(); it != onsets.end(); ++it) {
    const auto [move, amount] = it->second;
    largest = std::max(largest, std::abs(move));
    if (std::abs(move) > amount) return say("onset at ", it->first.second, " moved by ", move);
    if (it == onsets.begin() || std::prev(it)->first.first != it->first.first) continue;
    const int64_t was = it->first.second - std::prev(it)->first.second,
                  now = was + move - std::prev(it)->second.first;
    const double micros =
        microsAtTick(tempo, it->first.second) - microsAtTick(tempo, std::prev(it)->first.second);
    if (micros > 30000 ? (now * 2 < was || now * 2 > was * 3) : now != was)
      return say("gap before ", it->first.second, " was ", was, " now ", now);
    if (micros <= 30000 || amount == INT64_MAX) continue;
    auto& [least, most] = spread.try_emplace({it->first.second, amount}, move, move).first->second;
    least = std::min(least, move), most = std::max(most, move);
    if (most - least > amount)
      return say("channels at ", it->first.second, " end up ", most - least, " apart");
  }
  // Enough movement, where asked (every track has the one amount in ms): half the notes of a track
  // of 50 or more whose tick is finer than a quarter of the amount.
  std::map<int, std::vector<int64_t>> moves;  // by track
  for (const Note& n : p.notes) moves[n.track].push_back(n.from * 2 + (n.to != n.from));
  for (auto& [t, m] : moves) {
    std::sort(m.begin(), m.end());
    const double at = double(m[m.size() / 2] / 2),
                 tick = microsAtTick(tempo, at + 1) - microsAtTick(tempo, at);
    const TrackAmounts a = t < int(amounts.size()) ? amounts[t] : TrackAmounts();
    const int64_t moved = std::count_if(m.begin(), m.end(), [](int64_t x) { return x & 1; });
    if (enoughMovement && a.timeInMs && m.size() >= 50 && tick * 4 < a.time * 1000.0 &&
        moved * 2 < int64_t(m.size()))
      return say("track ", t + 1, ": ", moved, " of ", m.size(), " notes moved");
  }
  std::vector<std::vector<std::pair<int64_t, int64_t>>> changes(16);  // per channel: from, to
  for (size_t t = 0; t < in.size(); ++t) {
    for (size_t i = 0; i < in[t].size(); ++i) {
      const Heard& e = in[t][i];
      const int kind = e.channel ? messageKind(e.status) : 0;
      if (kind == 0xE0 || kind == 0xC0 || (kind == 0xB0 && e.d1 == 64)) {
        changes[channel(e)].push_back({e.tick, p.match[t].tick[i]});
        largest = std::max(largest, std::abs(p.match[t].tick[i] - e.tick));
      }
    }
  }
  for (auto& c : changes) std::sort(c.begin(), c.end());
  for (const Note& n : p.notes) {
    const std::vector<std::pair<int64_t, int64_t>>& c = changes[n.channel];
    for (const auto& [from, to] : {std::pair(n.from, n.to), std::pair(n.fromEnd, n.toEnd)}) {
      if (from == INT64_MAX) continue;
      for (auto b =
               std::lower_bound(c.begin(), c.end(), std::pair(from - 2 * largest - 1, INT64_MIN));
           b != c.end() && b->first <= from + 2 * largest + 1; ++b) {
        if (b->first != from && (b->first < from) != (b->second < to))
          return say("a note at ", from, " crossed a change at ", b->first);
      }
    }
  }
  return "";
}

// Bends, song-wide in the order a player merges the tracks: ours one per channel and tick, never in
// front of an end, none while a note of its channel sounds from an earlier tick; in front of a
// start within the amount of the file's bend, else back to it; back to it whenever the channel
// falls silent, and at the end.
std::string bendProblem(const SongHeard& out, const Pressed& p,
                        const std::vector<TrackAmounts>& amounts, const std::vector<int>& ranges) {
  std::map<std::pair<size_t, size_t>, int64_t> endOf;  // track, position of a start: its end tick
  for (const Note& n : p.notes) endOf[{n.track, p.match[n.track].pos[n.start]}] = n.toEnd;
  std::vector<std::tuple<int64_t, size_t, size_t>> order;
  for (size_t t = 0; t < out.size(); ++t) {
    for (size_t k = 0; k < out[t].size(); ++k) order.push_back({out[t][k].tick, t, k});
  }
  std::sort(order.begin(), order.end());
  std::vector<int> file(16, 8192), now(16, 8192);
  std::vector<int64_t> ours(16, -1), lastEnd(16, -1);
  std::vector<std::multiset<int64_t>> sounding(16);
  std::vector<std::pair<int, int64_t>> starting;  // channel, end tick
  for (size_t g = 0; g < order.size();) {
    const int64_t tick = std::get<0>(order[g]);
    for (int c = 0; c < 16; ++c) {
      while (!sounding[c].empty() && *sounding[c].begin() <= tick) {
        lastEnd[c] = *sounding[c].begin();
        sounding[c].erase(sounding[c].begin());
      }
      if (sounding[c].empty() && lastEnd[c] < tick && now[c] != file[c])
        return say("channel ", c + 1, " left bent after tick ", lastEnd[c]);
    }
    starting.clear();
    for (; g < order.size() && std::get<0>(order[g]) == tick; ++g) {
      const auto [at, t, k] = order[g];
      const Heard& e = out[t][k];
      const int c = channel(e);
      const std::vector<size_t>& added = p.match[t].added;  // in out's order
      if (std::binary_search(added.begin(), added.end(), k)) {
        if (ours[c] == tick) return say("two bends on channel ", c + 1, " at tick ", tick);
        // A note that never ends holds its channel to the end, where it goes back all the same.
        if (!sounding[c].empty() && *sounding[c].begin() != INT64_MAX)
          return say("a bend at ", tick, " retunes a sounding note");
        ours[c] = tick;
        const Heard* next = k + 1 < out[t].size() ? &out[t][k + 1] : nullptr;
        const bool onNote = next != nullptr && channel(*next) == c && next->tick == tick;
        if (onNote && isEnd(*next)) return say("bend in front of a note's end at tick ", tick);
        const int cents = t < amounts.size() ? amounts[t].pitch : 0;
        if (onNote && isStart(*next)) {
          if (std::fabs(bendValue(e) - file[c]) * ranges[c] / 8192.0 > cents + 1e-9)
            return say("a bend too far at tick ", tick);
        } else if (bendValue(e) != file[c]) {
          return say("a bend at tick ", tick, " that is neither a start's nor a return");
        }
        now[c] = bendValue(e);
      } else if (isBend(e)) {
        file[c] = now[c] = bendValue(e);
      } else if (const auto end = endOf.find({t, k}); end != endOf.end() && end->second > tick) {
        starting.push_back({c, end->second});
      }
    }
    for (const auto& [c, end] : starting) sounding[c].insert(end);
  }
  return now == file ? "" : "a channel left bent at the end";
}
// `written`, saved after presses of the song saved as `unpressed`, reads back without a damage line
// to the same bytes, with as many tracks, and with what lies outside the tracks and after each
// track's events as it was.
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

}  // namespace

SongHeard hearSong(const Song& song) {
  SongHeard all;
  for (int t = 0; t < allTrackCount(song); ++t) all.push_back(hear(trackAt(song, t)));
  return all;
}

std::string musicalPressProblem(const std::vector<uint8_t>& image,
                                const std::vector<TrackAmounts>& amounts, uint32_t seed,
                                bool enoughMovement) {
  const SongHeard before = hearSong(loadSong(image));
  const TempoMap tempo = buildTempoMap(*testSong);
  musicalPress(*testSong, amounts, seed);
  const SongHeard after = hearSong(*testSong);
  Pressed p;
  for (size_t t = 0; t < before.size(); ++t) {
    const std::string problem = musicalTrackProblem(
        before[t], after[t], t < amounts.size() ? amounts[t] : TrackAmounts(), int(t), p);
    if (!problem.empty()) return say("track ", t + 1, ": ", problem);
  }
  if (std::string problem = onsetProblem(before, p, amounts, tempo, enoughMovement);
      !problem.empty())
    return problem;
  if (std::string problem = bendProblem(after, p, amounts, narrowestRanges(before));
      !problem.empty())
    return problem;
  const std::vector<uint8_t> first = saveSong();
  musicalPress(loadSong(image), amounts, seed);
  return saveSong() == first ? "" : "the same seed gave other bytes";
}

std::string pipelineProblem(const uint8_t* data, size_t size, bool enoughMovement) {
  if (size < 11) return "";
  const uint8_t* s = data + size - 11;
  const bool musical = s[0] & 1, inMs = musical && (s[0] & 8);
  const uint32_t seed = s[1] | s[2] << 8 | s[3] << 16 | uint32_t{s[4]} << 24;
  const std::vector<uint8_t> image(data, s);
  Song& song = loadSong(image);
  if (song.pieces.empty()) return "";
  const std::vector<uint8_t> unpressed = saveSong();
  const int32_t limits[] = {!musical ? kMaxTimeShift
                            : inMs   ? kMaxMusicalTimeMs
                                     : kMaxMusicalTimeTicks,
                            musical ? kMaxPitchCents : kMaxPitchShift, kMaxVelocityShift};
  std::vector<TrackAmounts> amounts;
  for (int t = 0; t < allTrackCount(song); ++t) {
    int32_t a[3];
    for (int i = 0; i < 3; ++i) {
      const int32_t whole = s[5 + i] % (limits[i] + 1), mask = s[8 + i];
      a[i] = mask >> (t % 8) & 1 ? whole : mask >> ((t + 4) % 8) & 1 ? whole / 2 : 0;
    }
    amounts.push_back({a[0], inMs, a[1], a[2]});
    std::tie(trackAt(song, t).timeShift, trackAt(song, t).pitchShift,
             trackAt(song, t).velocityShift) = std::tie(a[0], a[1], a[2]);
  }
  if (musical) {  // loads the image again, leaving it pressed
    const std::string problem =
        musicalPressProblem(image, amounts, seed, enoughMovement && inMs && s[8] == 0xFF);
    return problem.empty() ? writtenFileProblem(unpressed, saveSong()) : problem;
  }
  std::string problem;
  ClassicRandom random = classicRandom(song, seed);
  for (int press = 0; press <= ((s[0] >> 1) & 3) % 3 && problem.empty(); ++press) {
    const SongHeard before = hearSong(song);
    const std::vector<PressSummary> summaries = classicPress(song, random);
    for (size_t t = 0; t < before.size() && problem.empty(); ++t) {
      const TrackSlot& slot = trackAt(song, static_cast<int>(t));
      problem = classicTrackProblem(before[t], hear(slot), slot, summaries[t].velocitiesChanged);
      if (!problem.empty()) problem = say("track ", t + 1, ", press ", press + 1, ": ", problem);
    }
  }
  return problem.empty() ? writtenFileProblem(unpressed, saveSong()) : problem;
}
