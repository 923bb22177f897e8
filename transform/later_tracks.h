// The classic press on the tracks past the 16th, which only the
// command-line tool humanises.
//
// transformLaterTracks treats them as transformSong treats the first 16 (the
// same steps, log lines and summaries, numbered on from 17), drawing from
// `random` where the first 16 left it. `summaries` receives one entry per
// track past the 16th; tracks without amounts get zeros.
#pragma once

#include <vector>

#include "transform/random_source.h"
#include "transform/transform.h"

struct Song;

void transformLaterTracks(Song& song, RandomSource& random,
                          std::vector<TrackPressSummary>& summaries);
