// The summary lines a press leaves in the log (press_summary.h), for the
// front ends that show them: the command-line tool in both styles, the
// window in the musical style.
//
// logPressSummaries logs the line of track t + 1 from amounts[t] and
// summaries[t], in track order; amounts holds one entry per summary.
// musicalPressLogged is musicalPress followed by its lines: the same song,
// amounts and seed give the same bytes and the same lines in either front
// end.
#pragma once

#include <cstdint>
#include <vector>

#include "transform/musical_amounts.h"
#include "transform/press_summary.h"

struct Song;

void logPressSummaries(const std::vector<SummaryAmounts>& amounts,
                       const std::vector<PressSummary>& summaries);

void musicalPressLogged(Song& song, const std::vector<TrackAmounts>& amounts, uint32_t seed);
