#include "transform/press_log.h"

#include <string>

#include "song/log.h"
#include "transform/musical_press.h"

void logPressSummaries(const std::vector<SummaryAmounts>& amounts,
                       const std::vector<PressSummary>& summaries) {
  for (size_t t = 0; t < summaries.size(); ++t) {
    const std::wstring line =
        pressSummaryLine(static_cast<int32_t>(t + 1), amounts.at(t), summaries[t]);
    if (!line.empty()) appendLog(line.c_str());
  }
}

void musicalPressLogged(Song& song, const std::vector<TrackAmounts>& amounts, uint32_t seed) {
  std::vector<MusicalTrackSummary> pressed;
  musicalPress(song, amounts, seed, &pressed);
  std::vector<TrackAmounts> all = amounts;
  all.resize(pressed.size());  // the tracks past those given have no amounts, and no line
  std::vector<SummaryAmounts> shown;
  for (const TrackAmounts& a : all)
    shown.push_back({true, a.time != 0, a.pitch != 0, a.velocity != 0});
  std::vector<PressSummary> summaries;
  for (const MusicalTrackSummary& m : pressed) {
    summaries.push_back({m.notesMoved, m.notes, m.largestMoveTicks, m.largestMoveMs, m.bendsAdded,
                         m.velocitiesChanged, m.notesBent, m.notesHeld});
  }
  logPressSummaries(shown, summaries);
}
