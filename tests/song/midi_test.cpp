#include "song/midi.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "song/log.h"
#include "support/midi_builder.h"

// A meta event as the reader keeps it: the type in data1, then the length (a variable-length
// quantity) and the data in data2 and extra.
TEST(MidiFacts, FindsAMetaEventsPayloadBehindItsLengthBytes) {
  const std::string name130(260, '4');  // 130 bytes of 0x44
  // clang-format off
  const struct { const char* name; std::string head; uint8_t type; bool found; int32_t first, length; } cases[] = {
      {"a tempo", "00 FF 51 03 07 A1 20", kMetaTempo, true, 2, 3},
      {"a name of 130 bytes: two length bytes", "00 FF 03 81 02 " + name130, kMetaTrackName, true, 3, 130},
      {"an empty name", "00 FF 03 00", kMetaTrackName, true, 2, 0},
      {"another type", "00 FF 51 03 07 A1 20", kMetaTrackName, false, 0, 0},
      {"no meta event", "00 90 3C 40", kMetaTempo, false, 0, 0},
      {"a controller numbered as the type", "00 B0 51 00", kMetaTempo, false, 0, 0}};
  // clang-format on
  for (const auto& c : cases) {
    const Song& song = loadSong(midiFile({c.head + " 00 FF 2F 00"}));
    MetaPayload payload;
    const bool found = findMetaPayload(song.tracks[0].head, c.type, payload);
    EXPECT_EQ(std::tuple(found, payload.first, payload.length),
              std::tuple(c.found, c.first, c.length))
        << c.name;
  }
}

// The channel message of each event, running status resolved (a data byte with no channel status
// before it stands for none), where a note starts and ends, which event ends a track (the meta
// event of type 2F, not a Note On of key 2F nor a meta event without its type), and a name that
// claims more bytes than it holds is none. A field past dataLength (77) is no part of an event.
TEST(MidiFacts, ChannelMessagesNotesEndOfTrackAndNames) {
  // clang-format off
  buildTrack(freshSong().tracks[0], {{0, 0x3C, 0x40, 0x77, 1}, {0, 0xC0, 5, 0x77, 1}, {0, 0x06, 0x77, 0x77, 0},
                                     {0, 0x90, 0x2F, 0x2F, 2}, {0, 0x2F, 0, 0x77, 1}, {0, 0x80, 0x2F, 0x40, 2},
                                     {0, 0xFF, 0x2F, 0, 0}, {0, 0xFF, 0x03, 0x03, 2}, kEnd});
  // clang-format on
  std::string got;
  uint8_t running = 0;
  MetaPayload name;
  for (const MidiEvent* e = &testSong->tracks[0].head; e != nullptr; e = e->next) {
    const ChannelMessage m = readChannelMessage(*e, running);
    got += m.isChannel ? hexByte(m.status) + hexByte(m.data1) + hexByte(m.data2) : "- ";
    got += isNoteStart(m) ? "on " : isNoteEnd(m) ? "off " : isEndOfTrack(*e) ? "end " : "";
    got += findMetaPayload(*e, kMetaTrackName, name) ? "name " : "";
  }
  EXPECT_EQ(got, "- C0 05 00 C0 06 00 90 2F 2F on 90 2F 00 off 80 2F 40 off - - - end ");
}

TEST(LogLine, ALineLongerThanItsBufferIsCutToIt) {
  wchar_t line[kLogLineUnits + 1];
  line[kLogLineUnits] = L'#';  // nothing is written past the buffer
  formatLogLine(line, (L"%d" + std::wstring(100, L'x')).c_str(), 7);
  EXPECT_EQ(std::wstring(line, kLogLineUnits + 1), L"7" + std::wstring(88, L'x') + L'\0' + L'#');
}
