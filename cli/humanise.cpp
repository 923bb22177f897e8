#include "cli/humanise.h"

#include <cmath>

#include "song/log.h"
#include "song/song.h"
#include "song/song_tracks.h"
#include "transform/later_tracks.h"
#include "transform/musical_press.h"
#include "transform/musical_random.h"
#include "transform/random_source.h"
#include "transform/transform.h"
#include "transform/velocity_shift.h"

namespace {

std::wstring plural(int64_t count, const wchar_t* one, const wchar_t* many) {
  return std::to_wstring(count) + L" " + (count == 1 ? one : many);
}

// Tenths of a millisecond are as fine as anyone hears.
std::wstring milliseconds(double ms) {
  const long tenths = std::lround(ms * 10);
  return std::to_wstring(tenths / 10) + L"." + std::to_wstring(tenths % 10) + L" ms";
}

// "Track N: part; part", for a track that was humanised (one with parts).
void logTrackLine(size_t track, const std::vector<std::wstring>& parts) {
  if (parts.empty()) return;
  std::wstring line = L"Track " + std::to_wstring(track + 1) + L":";
  for (size_t i = 0; i < parts.size(); ++i) line += (i == 0 ? L" " : L"; ") + parts[i];
  appendLog(line.c_str());
}

void pressClassic(Song& song, const std::vector<TrackAmounts>& amounts, uint32_t seed,
                  uint32_t presses) {
  const int32_t tracks = allTrackCount(song);
  std::vector<MusicalRandom> velocityStreams;
  for (int32_t t = 0; t < tracks; ++t) {
    trackAt(song, t).timeShift = amounts[t].time;
    trackAt(song, t).pitchShift = amounts[t].pitch;
    velocityStreams.push_back(
        musicalStream(seed, MusicalStream::kVelocity, static_cast<uint32_t>(t)));
  }
  seedRandomSource(randomSource, seed);
  for (uint32_t press = 0; press < presses; ++press) {
    std::vector<TrackPressSummary> summaries(kMaxTracks);
    transformSong(randomSource, summaries.data());
    summaries.resize(song.trackCount);
    std::vector<TrackPressSummary> later;
    transformLaterTracks(song, randomSource, later);
    summaries.insert(summaries.end(), later.begin(), later.end());
    for (int32_t t = 0; t < tracks; ++t) {
      const TrackAmounts& a = amounts[t];
      std::vector<std::wstring> parts;
      if (a.time != 0) {
        parts.push_back(L"time shift moved " + std::to_wstring(summaries[t].eventsMoved) +
                        L" events, at most " + std::to_wstring(summaries[t].largestMove) +
                        L" ticks");
      }
      if (a.pitch != 0) {
        parts.push_back(L"pitch shift added " + std::to_wstring(summaries[t].bendsAdded) +
                        L" bends");
      }
      // Drawn from a stream of its own: the time and pitch draws above are
      // the ones they would be without it.
      if (a.velocity != 0) {
        const int32_t changed =
            applyVelocityShift(trackAt(song, t), a.velocity, velocityStreams[t]);
        parts.push_back(L"velocity shift changed " + plural(changed, L"note", L"notes"));
      }
      logTrackLine(static_cast<size_t>(t), parts);
    }
  }
}

void pressMusical(Song& song, const std::vector<TrackAmounts>& amounts, uint32_t seed) {
  std::vector<MusicalAmounts> musical;
  for (const TrackAmounts& a : amounts)
    musical.push_back({a.time, a.timeInMs, a.pitch, a.velocity});
  std::vector<MusicalTrackSummary> summaries;
  musicalPress(song, musical, seed, &summaries);
  for (size_t t = 0; t < amounts.size(); ++t) {
    const TrackAmounts& a = amounts[t];
    const MusicalTrackSummary& s = summaries[t];
    std::vector<std::wstring> parts;
    if (a.time != 0) {
      parts.push_back(L"time shift moved " + std::to_wstring(s.notesMoved) + L" of " +
                      plural(s.notes, L"note", L"notes") + L", at most " +
                      plural(s.largestMoveTicks, L"tick", L"ticks") + L" (" +
                      milliseconds(s.largestMoveMs) + L")");
    }
    if (a.pitch != 0) {
      parts.push_back(L"pitch shift added " + plural(s.bendsAdded, L"bend", L"bends"));
    }
    if (a.velocity != 0) {
      parts.push_back(L"velocity shift changed " + plural(s.velocitiesChanged, L"note", L"notes"));
    }
    logTrackLine(t, parts);
  }
}

}  // namespace

bool resolveAmounts(const Song& song, const std::vector<AmountSetting>& settings,
                    std::vector<TrackAmounts>& amounts, std::wstring& error) {
  const int32_t tracks = allTrackCount(song);
  amounts.assign(tracks, TrackAmounts());
  for (const AmountSetting& s : settings) {
    if (s.track > tracks) {
      error = s.text + L": the file has " + plural(tracks, L"track", L"tracks");
      return false;
    }
    const int32_t first = s.track == 0 ? 0 : s.track - 1;
    const int32_t last = s.track == 0 ? tracks : s.track;
    for (int32_t t = first; t < last; ++t) {
      TrackAmounts& a = amounts[t];
      if (s.kind == AmountKind::kTime) {
        a.time = s.amount;
        a.timeInMs = s.unit;
      } else {
        (s.kind == AmountKind::kPitch ? a.pitch : a.velocity) = s.amount;
      }
    }
  }
  return true;
}

void humaniseSong(Song& song, Style style, const std::vector<TrackAmounts>& amounts, uint32_t seed,
                  uint32_t presses) {
  if (style == Style::kMusical) {
    pressMusical(song, amounts, seed);
  } else {
    pressClassic(song, amounts, seed, presses);
  }
}
