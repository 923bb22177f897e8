#include "transform/later_tracks.h"

#include "song/song.h"

void transformLaterTracks(Song& song, RandomSource& random,
                          std::vector<TrackPressSummary>& summaries) {
  summaries.assign(song.extraTracks.size(), TrackPressSummary());
  int32_t number = kMaxTracks;
  for (TrackSlot& slot : song.extraTracks) {
    ++number;
    summaries[number - kMaxTracks - 1] = pressTrack(slot, number, random);
  }
}
