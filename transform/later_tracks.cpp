#include "transform/later_tracks.h"

#include "song/log.h"
#include "song/song.h"
#include "transform/pitch_shift.h"
#include "transform/time_shift.h"

void transformLaterTracks(Song& song, RandomSource& random,
                          std::vector<TrackPressSummary>& summaries) {
  summaries.assign(song.extraTracks.size(), TrackPressSummary());
  int number = kMaxTracks;
  for (TrackSlot& slot : song.extraTracks) {
    TrackPressSummary& summary = summaries[number - kMaxTracks];
    ++number;
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
  }
}
