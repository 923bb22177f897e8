// Every track of a song by one index: the 16 slots first, then the tracks
// kept past them, in file order. The command-line tool humanises any of
// them; the window only the first 16.
#pragma once

#include <cstdint>

#include "song/song.h"

int32_t allTrackCount(const Song& song);
TrackSlot& trackAt(Song& song, int32_t index);  // 0-based, below allTrackCount
const TrackSlot& trackAt(const Song& song, int32_t index);
