#include "transform/later_tracks.h"

#include "song/song.h"

void transformLaterTracks(Song& song, RandomSource& random,
                          std::vector<TrackPressSummary>& summaries) {
  summaries.assign(song.extraTracks.size(), TrackPressSummary());
  for (size_t i = 0; i < song.extraTracks.size(); ++i) {
    // Numbered on from the 16th, counted from 1.
    summaries[i] =
        pressTrack(song.extraTracks[i], kMaxTracks + 1 + static_cast<int32_t>(i), random);
  }
}
