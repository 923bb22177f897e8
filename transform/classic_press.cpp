#include "transform/classic_press.h"

#include "song/log.h"
#include "song/song.h"
#include "song/song_tracks.h"
#include "transform/pitch_shift.h"
#include "transform/time_shift.h"
#include "transform/velocity_shift.h"

ClassicRandom classicRandom(const Song& song, uint32_t seed) {
  ClassicRandom random;
  seedRandomSource(random.draws, seed);
  for (int32_t t = 0; t < allTrackCount(song); ++t) {
    random.velocity.push_back(
        musicalStream(seed, MusicalStream::kVelocity, static_cast<uint32_t>(t)));
  }
  return random;
}

PressSummary pressTrack(Song& song, TrackSlot& slot, int32_t number, RandomSource& random) {
  // Within a track time first: with the track order this fixes the order of
  // draws, so a seed always gives the same result.
  PressSummary summary{};
  if (slot.timeShift != 0) {
    const TimeShiftSummary moved = applyTimeShift(slot, random);
    summary.moved = moved.eventsMoved;
    summary.largestMoveTicks = moved.largestMove;
    appendLogNumber(L"Track %d Time shift transformed", number);
  }
  if (slot.pitchShift != 0) {
    summary.bendsAdded = applyPitchShift(song, slot, random);
    appendLogNumber(L"Track %d Pitch shift transformed", number);
  }
  return summary;
}

std::vector<PressSummary> classicPress(Song& song, ClassicRandom& random) {
  const int32_t tracks = allTrackCount(song);
  std::vector<PressSummary> summaries(tracks);
  for (int32_t t = 0; t < tracks; ++t) {
    summaries[t] = pressTrack(song, trackAt(song, t), t + 1, random.draws);
  }
  for (int32_t t = 0; t < tracks; ++t) {
    TrackSlot& slot = trackAt(song, t);
    if (slot.velocityShift != 0) {
      summaries[t].velocitiesChanged =
          applyVelocityShift(slot, slot.velocityShift, random.velocity[t]);
    }
  }
  return summaries;
}
