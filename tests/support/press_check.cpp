#include "support/press_check.h"

#include <algorithm>
#include <cstdlib>

namespace {

std::string at(int track, size_t event) {
  return "track " + std::to_string(track + 1) + " event " + std::to_string(event) + ": ";
}

uint32_t bigEndian(const std::vector<uint8_t>& bytes, size_t pos, int count) {
  uint32_t value = 0;
  for (int i = 0; i < count; ++i) value = (value << 8) | bytes[pos + i];
  return value;
}

uint32_t littleEndian32(const std::vector<uint8_t>& bytes, size_t pos) {
  return bytes[pos] | bytes[pos + 1] << 8 | bytes[pos + 2] << 16 | uint32_t{bytes[pos + 3]} << 24;
}

bool tagAt(const std::vector<uint8_t>& bytes, size_t pos, const char* tag) {
  return bytes.size() >= 4 && pos <= bytes.size() - 4 && std::equal(tag, tag + 4, &bytes[pos]);
}

}  // namespace

SongSnapshot snapshotSong(const Song& song) {
  SongSnapshot snapshot;
  for (int t = 0; t < allTrackCount(song); ++t) {
    const TrackSlot& slot = trackAt(song, t);
    SongSnapshot::Track& track = snapshot.tracks.emplace_back();
    track.events = trackEvents(slot);
    track.ticks = absoluteTicks(slot);
    size_t i = 0;
    for (const MidiEvent* e = &slot.head; e != nullptr; e = e->next) track.index[e] = i++;
  }
  return snapshot;
}

std::string classicPressProblem(const SongSnapshot& before, const Song& after,
                                const std::vector<TrackPressSummary>& summaries) {
  if (static_cast<int>(before.tracks.size()) != allTrackCount(after))
    return "the track count changed";
  for (int t = 0; t < allTrackCount(after); ++t) {
    const SongSnapshot::Track& was = before.tracks[static_cast<size_t>(t)];
    const TrackSlot& slot = trackAt(after, t);
    const int64_t a = slot.timeShift, p = slot.pitchShift;
    const std::vector<int64_t> ticks = absoluteTicks(slot);
    std::vector<int64_t> moved;  // per original event, its ticks after minus before
    TrackPressSummary seen;
    size_t k = 0;
    for (const MidiEvent* e = &slot.head; e != nullptr; e = e->next, ++k) {
      const auto found = was.index.find(e);
      if (found == was.index.end()) {
        ++seen.bendsAdded;
        if (e->next == nullptr || (e->next->status & 0xF0) != 0x90)
          return at(t, k) + "an added event stands before no Note On";
        if (e->status != (0xE0 | (e->next->status & 0x0F)) || e->next->deltaTime != 0)
          return at(t, k) + "an added event is no bend on its note's channel and tick";
        if (e->dataLength != 2 || e->data1 != 0 || e->data2 == 0 || e->data2 < 64 - p ||
            e->data2 > 63 + p)
          return at(t, k) + "a bend outside its amount";
        continue;
      }
      const size_t i = found->second;
      if (i != moved.size()) return at(t, k) + "out of order";
      const EventFields& old = was.events[i];
      const EventFields now = {old.deltaTime, e->status, e->data1, e->data2, e->dataLength};
      if (old.status >= 0x80 && !(now == old)) return at(t, k) + "its bytes changed";
      moved.push_back(ticks[k] - was.ticks[i]);
      const bool rides = i == 0 || old.deltaTime == 0 || old.status >= 0xA0;
      if (rides && moved[i] != (i ? moved[i - 1] : 0)) return at(t, k) + "moved on its own";
      if (moved[i] < -a || moved[i] > std::max<int64_t>(a - 1, 0))
        return at(t, k) + "moved " + std::to_string(moved[i]) + " ticks";
      seen.eventsMoved += moved[i] != 0;
      seen.largestMove = std::max(seen.largestMove, moved[i] < 0 ? -moved[i] : moved[i]);
    }
    if (moved.size() != was.events.size()) return at(t, k) + "an event went missing";
    const TrackPressSummary said =
        static_cast<size_t>(t) < summaries.size() ? summaries[t] : TrackPressSummary{};
    if (seen.eventsMoved != said.eventsMoved || seen.largestMove != said.largestMove ||
        seen.bendsAdded != said.bendsAdded)
      return at(t, k) + "the summary does not count what the press did";
  }
  return "";
}

std::string velocityShiftProblem(const SongSnapshot& before, const Song& after,
                                 const std::vector<int32_t>& amounts) {
  for (int t = 0; t < allTrackCount(after); ++t) {
    const Events& was = before.tracks[static_cast<size_t>(t)].events;
    const Events now = trackEvents(trackAt(after, t));
    const int amount = static_cast<size_t>(t) < amounts.size() ? amounts[t] : 0;
    if (now.size() != was.size()) return at(t, now.size()) + "events added or lost";
    uint8_t running = 0;  // the last channel status
    for (size_t i = 0; i < was.size(); ++i) {
      if (was[i].status >= 0x80 && was[i].status < 0xF0) running = was[i].status;
      // Where a Note On's velocity stands: data2 after its own status, data1
      // under running status (the stored status is the key).
      EventFields expected = was[i];
      const bool own = (was[i].status & 0xF0) == 0x90 && was[i].dataLength == 2;
      const bool runs = was[i].status < 0x80 && (running & 0xF0) == 0x90 && was[i].dataLength == 1;
      uint8_t* velocity = own ? &expected.data2 : runs ? &expected.data1 : nullptr;
      if (velocity != nullptr && *velocity >= 1 && *velocity <= 127) {
        const int shifted = own ? now[i].data2 : now[i].data1;
        if (shifted < 1 || shifted > 127 || std::abs(shifted - *velocity) > amount)
          return at(t, i) + "velocity " + std::to_string(*velocity) + " became " +
                 std::to_string(shifted);
        *velocity = static_cast<uint8_t>(shifted);
      }
      if (!(now[i] == expected)) return at(t, i) + "changed other than its velocity";
    }
  }
  return "";
}

std::string fileLayoutProblem(const std::vector<uint8_t>& file, FileLayout& layout) {
  const std::vector<FilePiece>& pieces = loadSong(file).pieces;
  if (pieces.empty()) return "no MIDI header";
  std::vector<size_t> starts(pieces.size() + 1);
  size_t pos = 0, trackPieces = 0, countAt = 0;
  for (size_t i = 0; i < pieces.size(); ++i) {
    const FilePiece& piece = pieces[i];
    const std::string here = "piece " + std::to_string(i) + " at byte " + std::to_string(pos);
    starts[i] = pos;
    size_t end = pos + piece.bytes.size();
    if (piece.kind == PieceKind::kTrack) {
      ++trackPieces;
      if (!tagAt(file, pos, "MTrk") || file.size() - pos < kChunkHeaderSize)
        return here + ": no track chunk";
      end = pos + kChunkHeaderSize + bigEndian(file, pos + 4, 4);
      if (end > file.size() || end - pos - kChunkHeaderSize < piece.bytes.size() ||
          !std::equal(piece.bytes.begin(), piece.bytes.end(), &file[end - piece.bytes.size()]))
        return here + ": the track chunk's length does not end it";
      layout.tracks.emplace_back(file.begin() + static_cast<long>(pos),
                                 file.begin() + static_cast<long>(end));
    } else if (piece.kind == PieceKind::kSize) {
      end = pos + 4;
    } else if (piece.kind == PieceKind::kPad) {
      const size_t sized = pos - starts[piece.index] - 4;
      end = pos + (sized % 2 == 1 && piece.padWhenOdd ? 1 : 0);
    } else if (piece.kind == PieceKind::kHeader && piece.bytes.size() >= 12) {
      countAt = pos + 10;
    }
    if (end > file.size()) return here + ": runs past the end";
    if ((piece.kind == PieceKind::kBytes || piece.kind == PieceKind::kHeader) &&
        !std::equal(piece.bytes.begin(), piece.bytes.end(), file.begin() + static_cast<long>(pos)))
      return here + ": other bytes than the reader found there";
    if (piece.kind != PieceKind::kSize && piece.kind != PieceKind::kPad)
      layout.outside.push_back(piece.bytes);
    pos = end;
  }
  if (pos != file.size()) return "the pieces end at byte " + std::to_string(pos);
  starts.back() = pos;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (pieces[i].kind != PieceKind::kSize) continue;
    const size_t want = starts[pieces[i].index] - starts[i] - 4;
    if (littleEndian32(file, starts[i]) != want)
      return "the RIFF size at byte " + std::to_string(starts[i]) + " is not " +
             std::to_string(want);
  }
  if (countAt != 0 && bigEndian(file, countAt, 2) != std::min<size_t>(trackPieces, 0xFFFF))
    return "the header counts " + std::to_string(bigEndian(file, countAt, 2)) + " tracks of " +
           std::to_string(trackPieces);
  return "";
}

std::string writtenFileProblem(const std::vector<uint8_t>& written, int tracks) {
  FileLayout layout;
  std::string problem = fileLayoutProblem(written, layout);
  if (!problem.empty()) return "written file: " + problem;
  // The fixed point leaves the song read from the written file's own save.
  problem = fixedPointProblem(written.data(), written.size());
  if (!problem.empty()) return "written file: " + problem;
  if (saveSong() != written) return "the written file does not read back in step";
  if (allTrackCount(*currentSong) != tracks || static_cast<int>(layout.tracks.size()) != tracks)
    return "the written file holds " + std::to_string(allTrackCount(*currentSong)) +
           " tracks, not " + std::to_string(tracks);
  return "";
}
