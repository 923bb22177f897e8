// The tool's presses, in both styles.
//
// resolveAmounts turns the amount settings of the command line into one
// entry per track of the loaded song (a later setting for the same track
// wins), and humaniseSong presses: the classic style as the window does
// (presses continue one random sequence, tracks past the 16th after the
// first 16, a velocity shift from a stream of its own), the musical style
// once, around the song as loaded. Both log one summary line per humanised
// track.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/options.h"
#include "transform/musical_amounts.h"

struct Song;

// False (with `error`) when a setting names a track the song does not have.
bool resolveAmounts(const Song& song, const std::vector<AmountSetting>& settings,
                    std::vector<TrackAmounts>& amounts, std::wstring& error);

void humaniseSong(Song& song, Style style, const std::vector<TrackAmounts>& amounts, uint32_t seed,
                  uint32_t presses);
