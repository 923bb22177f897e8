#include "song/song_tracks.h"

int32_t allTrackCount(const Song& song) {
  return song.trackCount + static_cast<int32_t>(song.extraTracks.size());
}

TrackSlot& trackAt(Song& song, int32_t index) {
  return index < kMaxTracks ? song.tracks[index] : song.extraTracks[index - kMaxTracks];
}

const TrackSlot& trackAt(const Song& song, int32_t index) {
  return index < kMaxTracks ? song.tracks[index] : song.extraTracks[index - kMaxTracks];
}
