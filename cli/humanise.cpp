#include "cli/humanise.h"

#include "song/log.h"
#include "song/song.h"
#include "song/song_tracks.h"
#include "transform/classic_press.h"
#include "transform/press_log.h"
#include "transform/press_summary.h"

bool resolveAmounts(const Song& song, const std::vector<AmountSetting>& settings,
                    std::vector<TrackAmounts>& amounts, std::wstring& error) {
  const int32_t tracks = allTrackCount(song);
  amounts.assign(tracks, TrackAmounts());
  for (const AmountSetting& s : settings) {
    if (s.track > tracks) {
      error = s.text + L": the file has " + counted(tracks, L"track", L"tracks");
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
    musicalPressLogged(song, amounts, seed);
    return;
  }
  std::vector<SummaryAmounts> shown;
  for (int32_t t = 0; t < allTrackCount(song); ++t) {
    TrackSlot& slot = trackAt(song, t);
    slot.timeShift = amounts[t].time;
    slot.pitchShift = amounts[t].pitch;
    slot.velocityShift = amounts[t].velocity;
    shown.push_back({false, slot.timeShift != 0, slot.pitchShift != 0, slot.velocityShift != 0});
  }
  ClassicRandom random = classicRandom(song, seed);
  for (uint32_t press = 0; press < presses; ++press) {
    logPressSummaries(shown, classicPress(song, random));
  }
}
