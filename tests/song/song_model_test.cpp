#include <gtest/gtest.h>

#include "song/song.h"

TEST(SongModel, NewSongHasEmptySlotsAndDefaults) {
  Song song;
  EXPECT_EQ(song.trackCount, 0);
  EXPECT_EQ(song.division, 0);
  EXPECT_EQ(song.formatByte, 1);
  EXPECT_EQ(song.selectedTrack, 0);
  for (const TrackSlot& slot : song.tracks) {
    EXPECT_EQ(slot.head.dataLength, 0);
    EXPECT_EQ(slot.head.next, nullptr);
    EXPECT_EQ(slot.timeShift, 0);
    EXPECT_EQ(slot.pitchShift, 0);
  }
}
