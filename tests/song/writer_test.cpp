#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "cli/text_log.h"
#include "song/song.h"
#include "song/writer.h"
#include "support/test_support.h"

namespace {

std::vector<uint8_t> encoded(uint32_t value) {
  uint8_t bytes[8] = {};
  uint8_t* end = encodeVarLen(value, bytes);
  EXPECT_EQ(end - bytes, varLenSize(value));
  return std::vector<uint8_t>(bytes, end);
}

// Sets an event's fields; `extraBytes` become its extra block.
void fill(MidiEvent& e, uint32_t delta, uint8_t status, uint8_t data1, uint8_t data2, int32_t length,
          const std::vector<uint8_t>& extraBytes = {}) {
  e.deltaTime = delta;
  e.status = status;
  e.data1 = data1;
  e.data2 = data2;
  e.dataLength = length;
  if (length > 2) {
    e.extra = new uint8_t[length - 2];
    std::memcpy(e.extra, extraBytes.data(), static_cast<size_t>(length - 2));
  }
}

MidiEvent* appendEvent(MidiEvent& last) {
  last.next = new MidiEvent;
  return last.next;
}

Song* freshSong() {
  clearTextLog();
  return replaceCurrentSong();
}

}  // namespace

TEST(MidiWriter, VarLenQuantitiesFollowTheTable) {
  EXPECT_EQ(encoded(0), hexBytes("00"));
  EXPECT_EQ(encoded(0x7F), hexBytes("7F"));
  EXPECT_EQ(encoded(0x80), hexBytes("81 00"));
  EXPECT_EQ(encoded(0x3FFF), hexBytes("FF 7F"));
  EXPECT_EQ(encoded(0x4000), hexBytes("81 80 00"));
  EXPECT_EQ(encoded(0x1FFFFF), hexBytes("FF FF 7F"));
  EXPECT_EQ(encoded(0x200000), hexBytes("81 80 80 00"));
  EXPECT_EQ(encoded(0x0FFFFFFF), hexBytes("FF FF FF 7F"));
}

TEST(MidiWriter, VarLenBeyondFourBytesIsHeldAtTheLargestQuantity) {
  EXPECT_EQ(encoded(0x10000000), hexBytes("FF FF FF 7F"));
  EXPECT_EQ(encoded(0xFFFFFFFF), hexBytes("FF FF FF 7F"));
}

TEST(MidiWriter, EmptySongIsAHeaderOnly) {
  Song* song = freshSong();
  song->formatByte = 0;
  song->division = 0x1E0;
  EXPECT_EQ(saveSongToBytes(), hexBytes("4D 54 68 64 00 00 00 06 00 00 00 00 01 E0"));
}

TEST(MidiWriter, OneNoteSongGivesTheThirtyBytes) {
  Song* song = freshSong();
  song->division = 96;
  song->trackCount = 1;
  MidiEvent& head = song->tracks[0].head;
  fill(head, 0, 0x90, 0x3C, 0x64, 2);
  fill(*appendEvent(head), 96, 0xFF, 0x2F, 0x00, 2);
  EXPECT_EQ(saveSongToBytes(), hexBytes("4D 54 68 64 00 00 00 06 00 01 00 01 00 60\n"
                                        "4D 54 72 6B 00 00 00 08\n"
                                        "00 90 3C 64\n"
                                        "60 FF 2F 00\n"));
}

TEST(MidiWriter, DataLengthDecidesTheBytesAfterStatus) {
  Song* song = freshSong();
  song->division = 96;
  song->trackCount = 1;
  MidiEvent& head = song->tracks[0].head;
  fill(head, 0, 0x07, 0xAA, 0xBB, 0);  // status alone
  MidiEvent* e = appendEvent(head);
  fill(*e, 0, 0xC0, 0x05, 0xBB, 1);
  e = appendEvent(*e);
  fill(*e, 0, 0x90, 0x3C, 0x40, 2);
  e = appendEvent(*e);
  fill(*e, 0x80, 0xFF, 0x51, 0x03, 5, {0x07, 0xA1, 0x20});
  // Slots past trackCount are never written, whatever they hold.
  fill(song->tracks[1].head, 0, 0x90, 0x3C, 0x40, 2);
  EXPECT_EQ(saveSongToBytes(), hexBytes("4D 54 68 64 00 00 00 06 00 01 00 01 00 60\n"
                                        "4D 54 72 6B 00 00 00 11\n"
                                        "00 07\n"
                                        "00 C0 05\n"
                                        "00 90 3C 40\n"
                                        "81 00 FF 51 03 07 A1 20\n"));
}

TEST(MidiWriter, ImageLargerThanAMillionBytesIsWrittenWhole) {
  Song* song = freshSong();
  song->trackCount = 2;
  const int kEvents = 200000;  // 4 bytes each: 800,000 bytes per track
  for (int t = 0; t < 2; ++t) {
    MidiEvent* last = &song->tracks[t].head;
    fill(*last, 0, 0x90, 0x3C, 0x40, 2);
    for (int i = 1; i < kEvents; ++i) {
      last = appendEvent(*last);
      fill(*last, 0, 0x90, static_cast<uint8_t>(i & 0x7F), 0x40, 2);
    }
  }
  std::vector<uint8_t> image = saveSongToBytes();
  ASSERT_EQ(image.size(), 14u + 2 * (8u + 4u * kEvents));
  // Second chunk: its tag right after the first chunk, its length correct.
  size_t second = 14 + 8 + 4 * kEvents;
  EXPECT_EQ(std::memcmp(&image[second], "MTrk", 4), 0);
  EXPECT_EQ(image[second + 4] * 0x1000000u + image[second + 5] * 0x10000u + image[second + 6] * 0x100u +
                image[second + 7],
            4u * kEvents);
  EXPECT_EQ(image.back(), 0x40);
}
