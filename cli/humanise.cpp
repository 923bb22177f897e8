#include "cli/humanise.h"

#include <cmath>

#include "song/log.h"
#include "song/song.h"
#include "transform/later_tracks.h"
#include "transform/musical_amounts.h"
#include "transform/musical_press.h"
#include "transform/musical_random.h"
#include "transform/random_source.h"
#include "transform/song_tracks.h"
#include "transform/transform.h"
#include "transform/velocity_shift.h"

namespace {

// The classic amounts, as the window's sliders have them.
constexpr int32_t kClassicTimeTicks = 200;
constexpr int32_t kClassicPitchSteps = 64;

const wchar_t* unitOf(AmountKind kind) {
  return kind == AmountKind::kTime ? L"ms" : kind == AmountKind::kPitch ? L"c" : L"";
}

int32_t limitOf(Style style, const AmountSetting& s) {
  switch (s.kind) {
    case AmountKind::kTime:
      return s.unit ? kMaxMusicalTimeMs
                    : (style == Style::kMusical ? kMaxMusicalTimeTicks : kClassicTimeTicks);
    case AmountKind::kPitch:
      return style == Style::kMusical ? kMaxPitchCents : kClassicPitchSteps;
    case AmountKind::kVelocity:
      return kMaxVelocityShift;
  }
  return 0;
}

std::wstring rangeText(Style style, AmountKind kind) {
  switch (kind) {
    case AmountKind::kTime:
      return style == Style::kMusical ? L"0 to 200 (ticks) or 0ms to 200ms" : L"0 to 200 (ticks)";
    case AmountKind::kPitch:
      return style == Style::kMusical ? L"0c to 100c (cents)" : L"0 to 64 (bend steps)";
    case AmountKind::kVelocity:
      return L"0 to 64";
  }
  return L"";
}

std::wstring plural(int64_t count, const wchar_t* one, const wchar_t* many) {
  return std::to_wstring(count) + L" " + (count == 1 ? one : many);
}

// Tenths of a millisecond are as fine as anyone hears.
std::wstring milliseconds(double ms) {
  const long tenths = std::lround(ms * 10);
  return std::to_wstring(tenths / 10) + L"." + std::to_wstring(tenths % 10) + L" ms";
}

void logLine(const std::wstring& line) { appendLog(line.c_str()); }

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
      if (a.time == 0 && a.pitch == 0 && a.velocity == 0) continue;
      std::wstring line = L"Track " + std::to_wstring(t + 1) + L":";
      std::wstring separator;
      if (a.time != 0) {
        line += L" time shift moved " + std::to_wstring(summaries[t].eventsMoved) +
                L" events, at most " + std::to_wstring(summaries[t].largestMove) + L" ticks";
        separator = L";";
      }
      if (a.pitch != 0) {
        line += separator + L" pitch shift added " + std::to_wstring(summaries[t].bendsAdded) +
                L" bends";
        separator = L";";
      }
      // Drawn from a stream of its own: the time and pitch draws above are
      // the ones they would be without it.
      if (a.velocity != 0) {
        const int32_t changed =
            applyVelocityShift(trackAt(song, t), a.velocity, velocityStreams[t]);
        line += separator + L" velocity shift changed " + plural(changed, L"note", L"notes");
      }
      logLine(line);
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
    if (a.time == 0 && a.pitch == 0 && a.velocity == 0) continue;
    std::wstring line = L"Track " + std::to_wstring(t + 1) + L":";
    std::wstring separator;
    if (a.time != 0) {
      line += L" time shift moved " + std::to_wstring(s.notesMoved) + L" of " +
              plural(s.notes, L"note", L"notes") + L", at most " +
              plural(s.largestMoveTicks, L"tick", L"ticks") + L" (" +
              milliseconds(s.largestMoveMs) + L")";
      separator = L";";
    }
    if (a.pitch != 0) {
      line += separator + L" pitch shift added " + plural(s.bendsAdded, L"bend", L"bends");
      separator = L";";
    }
    if (a.velocity != 0) {
      line +=
          separator + L" velocity shift changed " + plural(s.velocitiesChanged, L"note", L"notes");
    }
    logLine(line);
  }
}

}  // namespace

bool parseAmountSetting(const std::wstring& name, const std::wstring& value, AmountSetting& setting,
                        std::wstring& error) {
  setting.kind = name == L"--pitch-shift"      ? AmountKind::kPitch
                 : name == L"--velocity-shift" ? AmountKind::kVelocity
                                               : AmountKind::kTime;
  setting.text = name + L" " + value;
  const size_t equals = value.find(L'=');
  if (equals == std::wstring::npos) {
    error = name + L" wants TRACK=AMOUNT, got '" + value + L"'";
    return false;
  }
  const std::wstring track = value.substr(0, equals);
  std::wstring amount = value.substr(equals + 1);
  const std::wstring unit = unitOf(setting.kind);
  setting.unit = !unit.empty() && amount.size() > unit.size() &&
                 amount.compare(amount.size() - unit.size(), unit.size(), unit) == 0;
  if (setting.unit) amount.resize(amount.size() - unit.size());
  auto number = [](const std::wstring& text, uint64_t& out) {
    if (text.empty() || text.size() > 10) return false;
    out = 0;
    for (wchar_t c : text) {
      if (c < L'0' || c > L'9') return false;
      out = out * 10 + static_cast<uint64_t>(c - L'0');
    }
    return out <= INT32_MAX;
  };
  uint64_t parsed = 0;
  if (track == L"all") {
    setting.track = 0;
  } else if (!number(track, parsed) || parsed < 1) {
    error = name + L": track must be a number from 1 or 'all', got '" + track + L"'";
    return false;
  } else {
    setting.track = static_cast<int32_t>(parsed);
  }
  if (!number(amount, parsed)) {
    error = name + L": amount must be a whole number, got '" + value.substr(equals + 1) + L"'";
    return false;
  }
  setting.amount = static_cast<int32_t>(parsed);
  return true;
}

bool checkAmountSettings(Style style, const std::vector<AmountSetting>& settings, bool hasPresses,
                         std::wstring& error) {
  for (const AmountSetting& s : settings) {
    if (s.unit && style == Style::kClassic) {
      error = s.text + L": " + (s.kind == AmountKind::kTime ? L"milliseconds" : L"cents") +
              L" need --style musical (the classic style counts " +
              (s.kind == AmountKind::kTime ? L"ticks)" : L"bend steps)");
      return false;
    }
    if (s.amount > limitOf(style, s)) {
      error = s.text + L": amount must be " + rangeText(style, s.kind);
      return false;
    }
  }
  if (hasPresses && settings.empty()) {
    error = L"--presses needs --time-shift, --pitch-shift or --velocity-shift";
    return false;
  }
  if (hasPresses && style == Style::kMusical) {
    error =
        L"--presses does not go with --style musical: its press always starts from the song "
        L"as loaded, so presses would not add up";
    return false;
  }
  return true;
}

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
