#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "song/song.h"
#include "support/test_support.h"

namespace {

const char kHeader[] = "4D 54 68 64 00 00 00 06 00 01 00 01 00 60  # MThd, format 1, 1 track, 96 ticks\n";

// A file of one track whose chunk holds `events` (hex), with a correct
// chunk length.
std::vector<uint8_t> oneTrackFile(const std::string& events) {
  std::vector<uint8_t> body = hexBytes(events);
  std::vector<uint8_t> file = hexBytes(kHeader);
  const uint8_t tag[] = {'M', 'T', 'r', 'k'};
  file.insert(file.end(), tag, tag + 4);
  uint32_t n = static_cast<uint32_t>(body.size());
  for (int shift = 24; shift >= 0; shift -= 8) file.push_back(static_cast<uint8_t>(n >> shift));
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

std::vector<const MidiEvent*> chain(const TrackSlot& slot) {
  std::vector<const MidiEvent*> events;
  for (const MidiEvent* e = &slot.head; e != nullptr; e = e->next) events.push_back(e);
  return events;
}

std::vector<uint8_t> extraBytes(const MidiEvent& e) {
  if (e.dataLength <= 2) return {};
  return std::vector<uint8_t>(e.extra, e.extra + e.dataLength - 2);
}

bool isEndOfTrack(const MidiEvent& e) {
  return e.status == 0xFF && e.data1 == 0x2F && e.dataLength == 2;
}

}  // namespace

TEST(MidiReader, TrackOfOnlyEndOfTrackFillsTheHead) {
  Song* song = loadSongFromBytes(hexBytes(std::string(kHeader) +
                                          "4D 54 72 6B 00 00 00 04  # MTrk, 4 bytes\n"
                                          "00 FF 2F 00              # End of Track\n"));
  EXPECT_EQ(song->division, 96);
  EXPECT_EQ(song->formatByte, 1);
  ASSERT_EQ(song->trackCount, 1);
  const MidiEvent& head = song->tracks[0].head;
  EXPECT_TRUE(isEndOfTrack(head));
  EXPECT_EQ(head.data2, 0);
  EXPECT_EQ(head.next, nullptr);
  EXPECT_EQ(logLines(), (std::vector<std::string>{"PPQN=96", "Loaded 1 tracks"}));
}

TEST(MidiReader, EventFormsAreStoredCloseToTheirBytes) {
  Song* song = loadSongFromBytes(oneTrackFile(
      "00 90 3C 40              # Note On\n"
      "60 3C 00                 # running status, 96 ticks later\n"
      "00 FF 51 03 07 A1 20     # tempo\n"
      "00 F0 05 7E 7F 09 01 F7  # system exclusive\n"
      "00 FF 01 00              # empty text\n"
      "00 C0 05                 # Program Change\n"
      "81 40 80 3C 00           # Note Off after 192 ticks\n"
      "FF FF FF 7F FF 2F 00     # End of Track after the largest delta\n"));
  std::vector<const MidiEvent*> e = chain(song->tracks[0]);
  ASSERT_EQ(e.size(), 8u);

  EXPECT_EQ(e[0]->status, 0x90);
  EXPECT_EQ(e[0]->data1, 0x3C);
  EXPECT_EQ(e[0]->data2, 0x40);
  EXPECT_EQ(e[0]->dataLength, 2);

  EXPECT_EQ(e[1]->deltaTime, 96u);
  EXPECT_EQ(e[1]->status, 0x3C);
  EXPECT_EQ(e[1]->data1, 0x00);
  EXPECT_EQ(e[1]->dataLength, 1);

  EXPECT_EQ(e[2]->data1, 0x51);
  EXPECT_EQ(e[2]->data2, 3);
  EXPECT_EQ(e[2]->dataLength, 5);
  EXPECT_EQ(extraBytes(*e[2]), hexBytes("07 A1 20"));

  EXPECT_EQ(e[3]->status, 0xF0);
  EXPECT_EQ(e[3]->data1, 5);
  EXPECT_EQ(e[3]->data2, 0x7E);
  EXPECT_EQ(e[3]->dataLength, 6);
  EXPECT_EQ(extraBytes(*e[3]), hexBytes("7F 09 01 F7"));

  EXPECT_EQ(e[4]->dataLength, 2);
  EXPECT_EQ(e[4]->extra, nullptr);

  EXPECT_EQ(e[5]->status, 0xC0);
  EXPECT_EQ(e[5]->data1, 5);
  EXPECT_EQ(e[5]->dataLength, 1);

  EXPECT_EQ(e[6]->deltaTime, 192u);
  EXPECT_EQ(e[7]->deltaTime, 268435455u);
  EXPECT_TRUE(isEndOfTrack(*e[7]));
}

TEST(MidiReader, HeaderValuesAreTakenAsTheyStand) {
  // Time-code division (high bit set) is kept as a plain number; only the
  // low byte of the format is kept; the declared track count is ignored.
  Song* song = loadSongFromBytes(hexBytes(
      "4D 54 68 64 00 00 00 06 01 00 00 05 E7 28\n"
      "4D 54 72 6B 00 00 00 04 00 FF 2F 00\n"));
  EXPECT_EQ(song->division, 231 * 256 + 40);
  EXPECT_EQ(song->formatByte, 0);
  EXPECT_EQ(song->trackCount, 1);
  EXPECT_EQ(logLines()[0], "PPQN=59176");
}

TEST(MidiReader, TracksAreFoundByTagWhateverTheChunkLengthsSay) {
  std::string file = kHeader;  // declares 1 track
  file += "4D 54 72 6B 00 00 00 99 00 FF 2F 00  # wrong length\n";
  file += "58 59 5A 31 00 00 00 02 12 34        # a chunk of another kind\n";
  file += "4D 54 72 6B 00 00 00 00 00 90 3C 40 00 FF 2F 00\n";
  file += "4D 54 72 6B 00 00 00 04 00 FF 2F 00\n";
  Song* song = loadSongFromBytes(hexBytes(file));
  EXPECT_EQ(song->trackCount, 3);
  EXPECT_EQ(song->tracks[1].head.status, 0x90);
  EXPECT_EQ(logLines(), (std::vector<std::string>{"PPQN=96", "Loaded 3 tracks"}));
}

TEST(MidiReader, HeaderAloneOrLessLoadsNoTrack) {
  loadSongFromBytes(hexBytes(kHeader));
  EXPECT_EQ(logLines(), (std::vector<std::string>{"PPQN=96", "Loaded 0 tracks"}));

  Song* song = loadSongFromBytes(hexBytes("4D 54 68 64 00 00"));
  EXPECT_EQ(song->trackCount, 0);
  EXPECT_EQ(logLines(), (std::vector<std::string>{"PPQN=0", "Loaded 0 tracks",
                                                  "File too short for a MIDI header: 6 bytes"}));
  loadSongFromBytes({});
  EXPECT_EQ(logLines().size(), 3u);
}

TEST(MidiReader, SeventeenthTrackIsCountedButNotLoaded) {
  std::string file = kHeader;
  for (int i = 0; i < 19; ++i) file += "4D 54 72 6B 00 00 00 08 00 90 3C 40 00 FF 2F 00\n";
  Song* song = loadSongFromBytes(hexBytes(file));
  EXPECT_EQ(song->trackCount, 16);
  EXPECT_EQ(logLines(), (std::vector<std::string>{"PPQN=96", "Loaded 16 tracks",
                                                  "File has 19 tracks: only the first 16 loaded"}));
}

TEST(MidiReader, LongMetaAndSysexLengthsStayInStep) {
  // 200 bytes of lyrics: the length is the two-byte quantity 81 48.
  std::string lyrics = "00 FF 05 81 48";
  for (int i = 0; i < 200; ++i) lyrics += " 61";
  std::string sysex = "00 F0 81 00";  // 128 bytes of system exclusive
  for (int i = 0; i < 127; ++i) sysex += " 11";
  sysex += " F7";
  Song* song = loadSongFromBytes(oneTrackFile(lyrics + "\n" + sysex + "\n00 90 3C 40\n00 FF 2F 00"));
  std::vector<const MidiEvent*> e = chain(song->tracks[0]);
  ASSERT_EQ(e.size(), 4u);
  EXPECT_EQ(e[0]->data1, 0x05);
  EXPECT_EQ(e[0]->data2, 0x81);
  EXPECT_EQ(e[0]->dataLength, 1 + 2 + 200);
  EXPECT_EQ(e[0]->extra[0], 0x48);
  EXPECT_EQ(e[1]->data1, 0x81);
  EXPECT_EQ(e[1]->data2, 0x00);
  EXPECT_EQ(e[1]->dataLength, 2 + 128);
  EXPECT_EQ(e[2]->status, 0x90);
  EXPECT_EQ(logLines().size(), 2u);
}

TEST(MidiReader, RunningStatusAfterProgramChangeStaysInStep) {
  Song* song = loadSongFromBytes(oneTrackFile(
      "00 C0 05     # Program Change\n"
      "10 07        # running status: Program Change 7\n"
      "00 D0 40     # Channel Pressure\n"
      "10 41        # running status: pressure 0x41\n"
      "00 90 3C 40  # Note On\n"
      "00 FF 2F 00\n"));
  std::vector<const MidiEvent*> e = chain(song->tracks[0]);
  ASSERT_EQ(e.size(), 6u);
  EXPECT_EQ(e[1]->status, 0x07);
  EXPECT_EQ(e[1]->dataLength, 0);
  EXPECT_EQ(e[1]->deltaTime, 16u);
  EXPECT_EQ(e[3]->status, 0x41);
  EXPECT_EQ(e[3]->dataLength, 0);
  EXPECT_EQ(e[4]->status, 0x90);
  EXPECT_EQ(logLines().size(), 2u);
}

TEST(MidiReader, RunningStatusAcrossMetaOrSysexGetsItsStatusByte) {
  Song* song = loadSongFromBytes(oneTrackFile(
      "00 90 3C 40     # Note On\n"
      "00 FF 01 01 41  # text\n"
      "10 3E 40        # running status after a meta event\n"
      "10 40 40        # running status again\n"
      "00 F0 01 F7     # system exclusive\n"
      "00 C3 05        # Program Change\n"
      "00 F8           # timing clock, one byte\n"
      "00 06           # running status after it\n"
      "00 FF 2F 00\n"));
  std::vector<const MidiEvent*> e = chain(song->tracks[0]);
  ASSERT_EQ(e.size(), 9u);
  EXPECT_EQ(e[2]->status, 0x90);
  EXPECT_EQ(e[2]->data1, 0x3E);
  EXPECT_EQ(e[2]->data2, 0x40);
  EXPECT_EQ(e[2]->dataLength, 2);
  // Once a status byte was given again, running status is kept as stored.
  EXPECT_EQ(e[3]->status, 0x40);
  EXPECT_EQ(e[3]->dataLength, 1);
  EXPECT_EQ(e[6]->status, 0xF8);
  EXPECT_EQ(e[6]->dataLength, 0);
  EXPECT_EQ(e[7]->status, 0xC3);
  EXPECT_EQ(e[7]->data1, 0x06);
  EXPECT_EQ(e[7]->dataLength, 1);
}

// A damaged track ends at its last complete event with an End of Track of
// its own, and one log line says where.
struct DamageCase {
  const char* name;
  const char* events;
  size_t eventsKept;  // before the End of Track
  const char* line;
};

TEST(MidiReader, DamagedTrackEndsAtItsLastCompleteEvent) {
  const DamageCase cases[] = {
      {"image ends inside an event", "00 90 3C 40  00 90 3C", 1,
       "Track 1 cut short at byte 26: End of Track added"},
      {"image ends before End of Track", "00 90 3C 40", 1,
       "Track 1 cut short at byte 26: End of Track added"},
      {"meta length beyond the image", "00 90 3C 40  00 FF 01 7F 41 41", 1,
       "Track 1 cut short at byte 26: End of Track added"},
      {"status byte where a data byte belongs", "00 90 3C 40  00 90 3C 90 00 FF 2F 00", 1,
       "Track 1 damaged at byte 26: ended there"},
      {"running status with nothing to follow", "00 3C 40 00 FF 2F 00", 0,
       "Track 1 damaged at byte 22: ended there"},
      {"delta time of five bytes", "00 90 3C 40  81 80 80 80 00 80 3C 00", 1,
       "Track 1 damaged at byte 26: ended there"},
      {"undefined system status", "00 90 3C 40  00 F4 00 FF 2F 00", 1,
       "Track 1 damaged at byte 26: ended there"},
  };
  for (const DamageCase& c : cases) {
    SCOPED_TRACE(c.name);
    Song* song = loadSongFromBytes(oneTrackFile(c.events));
    ASSERT_EQ(song->trackCount, 1);
    std::vector<const MidiEvent*> e = chain(song->tracks[0]);
    ASSERT_EQ(e.size(), c.eventsKept + 1);
    EXPECT_TRUE(isEndOfTrack(*e.back()));
    EXPECT_EQ(e.back()->deltaTime, 0u);
    std::vector<std::string> lines = logLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "Loaded 1 tracks");
    EXPECT_EQ(lines[2], c.line);
  }
}

TEST(MidiReader, TrackWithoutEndOfTrackStopsAtTheNextTrack) {
  std::string file = kHeader;
  file += "4D 54 72 6B 00 00 00 04 00 90 3C 40\n";  // no End of Track
  file += "4D 54 72 6B 00 00 00 04 00 FF 2F 00\n";
  Song* song = loadSongFromBytes(hexBytes(file));
  EXPECT_EQ(song->trackCount, 2);
  EXPECT_EQ(chain(song->tracks[0]).size(), 2u);
  EXPECT_EQ(logLines().back(), "Track 1 has no End of Track: added at byte 26");
}

TEST(MidiReader, MeaninglessMetaIsLeftOutWithoutMovingLaterEvents) {
  Song* song = loadSongFromBytes(oneTrackFile(
      "00 90 3C 40        # Note On\n"
      "10 FF 59 02 0B E3  # key signature of 11 sharps: meaningless\n"
      "20 FF 51 02 07 A1  # tempo of two bytes: meaningless\n"
      "30 80 3C 00        # Note Off, 0x60 ticks after the Note On\n"
      "00 FF 2F 00\n"));
  std::vector<const MidiEvent*> e = chain(song->tracks[0]);
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[1]->status, 0x80);
  EXPECT_EQ(e[1]->deltaTime, 0x60u);
  EXPECT_EQ(logLines().back(), "Track 1: 2 unreadable meta or sysex events left out");
}

TEST(MidiReader, EscapeEventKeepsStatusBytesWhileSysexWithThemIsLeftOut) {
  // An F7 escape may carry any bytes (here a whole Note On); a system
  // exclusive message with a status byte inside it is damaged.
  const std::vector<uint8_t> file = oneTrackFile(
      "00 F7 03 90 3C 40     # escape carrying a Note On\n"
      "00 F0 03 7E 90 F7     # system exclusive with 0x90 inside\n"
      "00 FF 2F 00\n");
  Song* song = loadSongFromBytes(file);
  std::vector<const MidiEvent*> e = chain(song->tracks[0]);
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0]->status, 0xF7);
  EXPECT_EQ(logLines().back(), "Track 1: 1 unreadable meta or sysex events left out");
  EXPECT_EQ(saveSongToBytes(), oneTrackFile("00 F7 03 90 3C 40 00 FF 2F 00"));
}

TEST(MidiReader, TagBytesInsideAWellFormedTrackAreEvents) {
  // "MTrk" formed by a delta time of 77, running-status data 54 72 and the
  // next delta time 0x6B, inside the chunk: events, not a new track.
  Song* song = loadSongFromBytes(oneTrackFile(
      "00 E0 00 40   # Pitch Bend\n"
      "4D 54 72      # running status\n"
      "6B 00 40      # running status\n"
      "00 FF 2F 0A 4D 54 72 6B 00 00 00 04 00 00  # End of Track carrying bytes\n"));
  EXPECT_EQ(song->trackCount, 1);
  EXPECT_EQ(chain(song->tracks[0]).size(), 4u);
  EXPECT_EQ(logLines().size(), 2u);
  EXPECT_EQ(saveSongToBytes(), oneTrackFile(
      "00 E0 00 40 4D 54 72 6B 00 40 00 FF 2F 0A 4D 54 72 6B 00 00 00 04 00 00"));
}
