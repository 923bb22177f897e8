#include "transform/transform.h"

#include <ctime>

#include "song/log.h"
#include "song/song.h"
#include "transform/pitch_shift.h"
#include "transform/time_shift.h"

TrackPressSummary pressTrack(TrackSlot& slot, int32_t number, RandomSource& random) {
  // Within a track time first: with the track order this fixes the order of
  // draws, so a seed always gives the same result.
  TrackPressSummary summary;
  if (slot.timeShift != 0) {
    const TimeShiftSummary moved = applyTimeShift(slot, random);
    summary.eventsMoved = moved.eventsMoved;
    summary.largestMove = moved.largestMove;
    appendLogNumber(L"Track %d Time shift transformed", number);
  }
  if (slot.pitchShift != 0) {
    summary.bendsAdded = applyPitchShift(slot, random);
    appendLogNumber(L"Track %d Pitch shift transformed", number);
  }
  return summary;
}

void transformSong(RandomSource& random, TrackPressSummary* summaries) {
  Song& song = *currentSong;
  const int32_t tracks = song.trackCount < kMaxTracks ? song.trackCount : kMaxTracks;
  for (int32_t number = 1; number <= tracks; ++number) {
    const TrackPressSummary summary = pressTrack(song.tracks[number - 1], number, random);
    if (summaries != nullptr) summaries[number - 1] = summary;
  }
}

void transformSong(uint32_t seed) {
  seedRandomSource(randomSource, seed);
  transformSong(randomSource);
}

void transformSong() {
  // Whole seconds since the epoch, low 32 bits: two presses within the same
  // second give the same draws.
  transformSong(static_cast<uint32_t>(std::time(nullptr)));
}
