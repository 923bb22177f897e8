#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "song/log.h"
#include "song/reader.h"
#include "song/writer.h"
#include "support/midi_builder.h"
#include "transform/classic_press.h"

namespace {

using Lines = std::vector<std::string>;

// One track's bytes and the chain the reader must make of them; each file is
// also written back byte for byte, and logs only its two lines.
// clang-format off
const struct { const char* name; std::string events; Events want; } kReadCases[] = {
    {"End of Track alone fills the head: the 26-byte file", "00 FF 2F 00", {kEnd}},
    {"Note On, running status 96 ticks later", "00 90 3C 40  60 3C 00  00 FF 2F 00",
     {{0, 0x90, 0x3C, 0x40, 2}, {96, 0x3C, 0x00, 0, 1}, kEnd}},
    {"tempo, system exclusive, empty meta", "00 FF 51 03 07 A1 20  00 F0 05 7E 7F 09 01 F7  00 FF 01 00  00 FF 2F 00",
     {{0, 0xFF, 0x51, 3, 5}, {0, 0xF0, 5, 0x7E, 6}, {0, 0xFF, 0x01, 0, 2}, kEnd}},
    {"program change, deltas of two and four bytes", "00 C0 05  81 40 80 3C 00  FF FF FF 7F FF 2F 00",
     {{0, 0xC0, 5, 0, 1}, {192, 0x80, 0x3C, 0, 2}, {268435455, 0xFF, 0x2F, 0, 2}}},
    {"running status after one-data-byte messages", "00 C0 05  10 07  00 D0 40  10 41  00 FF 2F 00",
     {{0, 0xC0, 5, 0, 1}, {16, 0x07, 0, 0, 0}, {0, 0xD0, 0x40, 0, 1}, {16, 0x41, 0, 0, 0}, kEnd}},
    {"running status after a meta event, as read", "00 90 3C 40  00 FF 01 01 41  10 3E 40  00 FF 2F 00",
     {{0, 0x90, 0x3C, 0x40, 2}, {0, 0xFF, 0x01, 1, 3}, {16, 0x3E, 0x40, 0, 1}, kEnd}},
    {"running status with no channel status before it", "00 3C 40  00 FF 2F 00", {{0, 0x3C, 0x40, 0, 1}, kEnd}},
    {"data bytes of 0x80 and more", "00 B1 07 64  00 7F FF  00 90 3C 90  00 F3 85  00 FF 2F 00",
     {{0, 0xB1, 7, 0x64, 2}, {0, 0x7F, 0xFF, 0, 1}, {0, 0x90, 0x3C, 0x90, 2}, {0, 0xF3, 0x85, 0, 1}, kEnd}},
    {"meta events of odd lengths and values", "00 FF 58 02 04 02  00 FF 59 02 08 00  00 FF 54 05 01 3D 00 00 00  00 FF 2F 00",
     {{0, 0xFF, 0x58, 2, 4}, {0, 0xFF, 0x59, 2, 4}, {0, 0xFF, 0x54, 5, 7}, kEnd}},
    {"status bytes inside system exclusive and escapes", "00 F0 03 7E 90 F7  00 F7 03 90 3C 40  00 FF 2F 00",
     {{0, 0xF0, 3, 0x7E, 4}, {0, 0xF7, 3, 0x90, 4}, kEnd}},
    {"system messages take their wire lengths", "00 F2 01 02  00 F8  00 F1 05  00 F6  00 FA  00 FC  00 FE  00 FF 2F 00",
     {{0, 0xF2, 1, 2, 2}, {0, 0xF8, 0, 0, 0}, {0, 0xF1, 5, 0, 1}, {0, 0xF6, 0, 0, 0}, {0, 0xFA, 0, 0, 0},
      {0, 0xFC, 0, 0, 0}, {0, 0xFE, 0, 0, 0}, kEnd}},
    {"lengths of 128 and more are quantities",
     "00 FF 05 81 48 " + std::string(400, '6') + " 00 F0 81 00 " + std::string(256, '1') + " 00 FF 2F 00",
     {{0, 0xFF, 0x05, 0x81, 203}, {0, 0xF0, 0x81, 0x00, 130}, kEnd}},
    {"track tag bytes inside a track; an End of Track carrying data",
     "00 E0 00 40  4D 54 72  6B 00 40  00 FF 2F 0A 4D 54 72 6B 00 00 00 04 00 00",
     {{0, 0xE0, 0, 0x40, 2}, {0x4D, 0x54, 0x72, 0, 1}, {0x6B, 0x00, 0x40, 0, 1}, {0, 0xFF, 0x2F, 0x0A, 12}}},
};
// clang-format on

}  // namespace

TEST(MidiReader, KeepsEveryEventAsItStandsAndWritesItBack) {
  for (const auto& c : kReadCases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> file = midiFile({c.events});
    EXPECT_EQ(trackEvents(loadSong(file).tracks[0]), c.want);
    EXPECT_EQ(logLines(), (Lines{"PPQN=96", "Loaded 1 tracks"}));
    EXPECT_EQ(saveSong(), file);
  }
}

// A track that cannot be read on ends at its last complete event with an End
// of Track of its own, and one line says where (its events begin at byte 22).
TEST(MidiReader, DamagedTrackEndsAtItsLastCompleteEvent) {
  // clang-format off
  const struct { std::vector<uint8_t> file; size_t kept; const char* line; } cases[] = {
      {midiFile({"00 90 3C 40  00 90 3C"}), 1, "Track 1 cut short at byte 26: End of Track added"},
      {midiFile({"00 90 3C 40  00 FF 01 7F 41"}), 1, "Track 1 cut short at byte 26: End of Track added"},
      {midiFile({"00 90 3C 40  81 80 80 80 00 80 3C 00"}), 1, "Track 1 damaged at byte 26: ended there"},
      {midiFile({"00 FF 01 81 80 80 80 00 41"}), 0, "Track 1 damaged at byte 22: ended there"},
      {midiFile({"00 90 3C 40  00 F4 00 FF 2F 00"}), 1, "Track 1 damaged at byte 26: ended there"},
      {midiFile({"00 90 3C 40", "00 FF 2F 00"}), 1, "Track 1 has no End of Track: added at byte 26"},
      // A length running into the next chunk, whose tag stands at the declared end: two tracks still.
      {midiFile({"00 90 3C 40  00 F0 7F 00  00 FF 2F 00", "00 FF 2F 00"}), 1, "Track 1 damaged at byte 26: ended there"},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const Events events = trackEvents(loadSong(c.file).tracks[0]);
    ASSERT_EQ(events.size(), c.kept + 1);
    EXPECT_EQ(events.back(), kEnd);
    EXPECT_EQ(logLines().at(2), c.line);
    EXPECT_EQ(testSong->trackCount, c.file[11]);  // as many as the header declares
  }
  // A track's tag in the last five bytes is kept as it stands; one with six is a track.
  for (const std::string last : {"", "00", "00 00"}) {
    loadSong(hexBytes(
        "'MThd' 00 00 00 06 00 01 00 02 00 60 'MTrk' 00 00 00 04 00 90 3C 40 'MTrk' " + last));
    EXPECT_EQ(logLines().back(), last.size() > 2
                                     ? "Track 2 cut short at byte 32: End of Track added"
                                     : "Track 1 has no End of Track: added at byte 26");
  }
  loadSong(hexBytes("00 4D 54 68 64 00 00"));
  EXPECT_EQ(logLines(),
            (Lines{"PPQN=0", "Loaded 0 tracks", "File too short for a MIDI header: 6 bytes"}));
}

// 65,536 tracks: a count past 16 bits is written as the largest, 65,535; every track kept.
TEST(MidiWriter, WritesATrackCountPastSixteenBitsAsTheLargest) {
  std::vector<uint8_t> many = midiFile(Lines(65535, "00 FF 2F 00"));
  const std::vector<uint8_t> last(many.end() - 12, many.end());  // one more empty track
  many.insert(many.end(), last.begin(), last.end());
  loadSong(many);
  EXPECT_EQ(saveSong(), many);
}

// What lies outside the tracks comes back in its place, and a press changes
// only the pressed track's chunk and the sizes that hold it. Track T: a Note
// On, a second under running status, End of Track (11 bytes). A press of
// pitch shift 1 drawing 1 makes it P: the second note shows its status and
// gets the bend 64 before it (16 bytes).
const std::string kH1 = "'MThd' 00 00 00 06  00 01 00 01 00 60 ";
const std::string kH2 = "'MThd' 00 00 00 06  00 01 00 02 00 60 ";
const std::string kT = "'MTrk' 00 00 00 0B  00 90 3C 40  00 3E 40  00 FF 2F 00 ";
const std::string kP = "'MTrk' 00 00 00 10  00 90 3C 40  00 E0 00 40  00 90 3E 40  00 FF 2F 00 ";
const std::string kE = "'MTrk' 00 00 00 04  00 FF 2F 00 ";
const std::string kInfo = "'LIST' 10 00 00 00 'INFO' 'INAM' 04 00 00 00 'abc' 00";
const std::string kDisp = "'RMID' 'DISP' 03 00 00 00 'abc' 00 'data' ";
// 77 tracks: their count (00 4D) spells a track tag with the division ('Tr') and the byte after
// ('k').
const std::string k77Tracks = [] {
  std::string tracks;
  for (int i = 0; i < 77; ++i) tracks += kE;
  return tracks;
}();
const std::string k8ByteHeader = "00 11 'MThd' 00 00 00 08  00 01 00 ";
// A chunk tagged as a track whose data byte has no status before it: no events to follow.
const std::string kNoStatus = "'MTrk' 00 00 00 07  00 3C 40  00 FF 2F 00 ";
// `saved` and `pressed` left empty: the image as it stands, and what a save gives with T pressed.
// clang-format off
const struct { const char* name; std::string image, saved, pressed; const char* note; } kOutsideCases[] = {
    {"a chunk before the tracks", kH1 + "'XFIH' 00 00 00 02 AB CD " + kT, "", "", nullptr},
    {"a track without End of Track, then a chunk of another kind", kH1 + "'MTrk' 00 00 00 04 00 90 3C 40 'XFKM' 00 00 00 02 AB CD",
     kH1 + "'MTrk' 00 00 00 08 00 90 3C 40 00 FF 2F 00 'XFKM' 00 00 00 02 AB CD", "", "Track 1 has no End of Track: added at byte 26"},
    {"a chunk between tracks", kH2 + kT + "'CASM' 00 00 00 03 01 02 03 " + kE, "", "", nullptr},
    {"a chunk after them, holding a track chunk", kH1 + kT + "'Z9a ' 00 00 00 0C " + kE, "", "", nullptr},
    {"letters running into a track's tag are no chunk of their own", kH1 + "'c' " + kT, "", "", nullptr},
    {"a sequencer's records after the last chunk", kH1 + kT + "'$$' 05 01 00 'SEQ'", "", "", nullptr},
    {"bytes after End of Track inside the chunk", kH2 + "'MTrk' 00 00 00 0D  00 90 3C 40  00 3E 40  00 FF 2F 00  DE AD " + kE, "",
     kH2 + "'MTrk' 00 00 00 12  00 90 3C 40  00 E0 00 40  00 90 3E 40  00 FF 2F 00  DE AD " + kE, nullptr},
    {"a header cut after half its length by a track", "'MThd' 00 00 " + kT, "", "", nullptr},
    {"a header cut before its division by a track: its count made true", "'MThd' 00 00 00 06  00 01 00 03 " + kT,
     "'MThd' 00 00 00 06  00 01 00 01 " + kT, "", nullptr},
    {"a header of 8 bytes, junk before it, a track count of 0", k8ByteHeader + "00 00 60 AB CD " + kT,
     k8ByteHeader + "01 00 60 AB CD " + kT, "", nullptr},
    {"events running into a chunk of another kind: the rest kept in the track's chunk",
     kH1 + "'MTrk' 00 00 00 07  00 90 3C 40  00 F0 7F  'A0z ' 00 00 00 00", kH1 + "'MTrk' 00 00 00 0B  00 90 3C 40  00 FF 2F 00  00 F0 7F  'A0z ' 00 00 00 00", "",
     "Track 1 damaged at byte 26: ended there"},
    {"a track count that spells a tag with what follows it", "'MThd' 00 00 00 06 00 01 00 00 'Trk' " + k77Tracks,
     "'MThd' 00 00 00 06 00 01 00 4D 'Trk' " + k77Tracks, "", "File has 77 tracks: only the first 16 shown, the rest kept unchanged"},
    {"past the declared track: a track, then a sequencer's data, all after it kept as it stands", kH1 + kT + kE + kNoStatus + kE,
     kH2 + kT + kE + kNoStatus + kE, "", nullptr},
    {"past the declared track: an End of Track past the length", kH1 + kT + "'MTrk' 00 00 00 03  00 90 3C 40  00 FF 2F 00", "", "", nullptr},
    {"past the declared track: a chunk the file ends before its End of Track", kH1 + kT + "'MTrk' 00 00 00 09  00 90 3C 40  00 FF 2F", "", "", nullptr},
    // RIFF sizes are little-endian; 3 bytes of a chunk or 33 of MIDI data take a pad byte, 38 none.
    {"a RIFF MIDI file with chunks around its data", "'RIFF' 52 00 00 00 " + kDisp + "21 00 00 00 " + kH1 + kT + "00 " + kInfo,
     "", "'RIFF' 56 00 00 00 " + kDisp + "26 00 00 00 " + kH1 + kP + kInfo,
     "RIFF MIDI file: the wrapper around the MIDI data is kept"},
    {"a RIFF MIDI file with its data last, bytes after it", "'RIFF' 2E 00 00 00 'RMID' 'data' 21 00 00 00 " + kH1 + kT + "00 'end'", "",
     "'RIFF' 32 00 00 00 'RMID' 'data' 26 00 00 00 " + kH1 + kP + "'end'", "RIFF MIDI file: the wrapper around the MIDI data is kept"},
};
// clang-format on

TEST(MidiFile, KeepsWhatLiesOutsideTheTracksInItsPlace) {
  for (const auto& c : kOutsideCases) {
    SCOPED_TRACE(c.name);
    Song& song = loadSong(hexBytes(c.image));
    EXPECT_EQ(logLines().size() == 3 ? logLines().back() : "", c.note ? c.note : "");
    const std::string saved = c.saved.empty() ? c.image : c.saved;
    EXPECT_EQ(saveSong(), hexBytes(saved));
    song.tracks[0].pitchShift = 1;
    const uint16_t raw[] = {1};
    ClassicRandom random{{0, raw, 1}, {}};
    classicPress(song, random);
    std::string pressed = c.pressed.empty() ? saved : c.pressed;
    if (const size_t at = pressed.find(kT); c.pressed.empty() && at != pressed.npos)
      pressed.replace(at, kT.size(), kP);
    const std::vector<uint8_t> written = saveSong();
    EXPECT_EQ(written, hexBytes(pressed));
    loadSong(written);
    EXPECT_EQ(saveSong(), written) << "read back otherwise";
  }
}

// `saved` is `source` but for what a save makes true: chunk lengths, the header's track count,
// delta times in their shortest form (a quantity's leading 0x80 bytes left out). Chunks are where
// `saved` has them; what follows the last one is the same.
bool keptAsItWas(const std::vector<uint8_t>& source, const std::vector<uint8_t>& saved) {
  size_t s = 0, o = 0;
  while (o + 8 <= saved.size() && s + 4 <= source.size()) {
    size_t end = o + 8;
    for (int i = 4; i < 8; ++i) end += size_t{saved[o + i]} << (56 - 8 * i);
    if (end > saved.size() || !std::equal(&saved[o], &saved[o + 4], &source[s])) break;
    for (s += 8, o += 8; o < end; ++s) {
      const bool same = s < source.size() && (source[s] == saved[o] || o == 10 || o == 11);
      if (!same && (s >= source.size() || source[s] != 0x80)) return false;
      o += same;
    }
  }
  return s <= source.size() && std::equal(saved.begin() + static_cast<long>(o), saved.end(),
                                          source.begin() + static_cast<long>(s), source.end());
}

// Files whose sequencer wrote data of its own after the tracks, in chunks tagged as tracks.
const std::string kSequencerData =
    " midicvt__b4uacuse-new-format.midi.mid seq66__1Note.midi.mid seq66__2rock.midi.mid"
    " seq66__buffalo.midi.mid seq66__Carpet_of_the_Sun_karaoke_meta_text.mid"
    " seq66__wrk__longhair.midi.mid ";

// Every sample file: a plain load and save gives it back (but for what a save makes true) unless
// the reader remarks where it mended it, and reads back as it stands; sequencers' data exactly.
TEST(MidiFile, SampleFilesComeBackAsTheyWere) {
  for (const auto& [name, bytes] : sampleMidiFiles()) {
    SCOPED_TRACE(name);
    if (loadSong(bytes).pieces.empty()) continue;  // no MIDI header
    const Lines log = logLines();  // a remark on damage says where: "at byte 26", "6 bytes"
    const bool mended = std::any_of(log.begin(), log.end(),
                                    [](auto& line) { return line.find(" byte") != line.npos; });
    const std::vector<uint8_t> saved = saveSong();
    EXPECT_TRUE(kSequencerData.find(" " + name + " ") == std::string::npos || saved == bytes);
    EXPECT_TRUE(mended || keptAsItWas(bytes, saved));
    EXPECT_EQ(fixedPointProblem(saved.data(), saved.size()), "");
  }
}

TEST(MidiFile, AnImageWithoutAMidiHeaderIsRefused) {
  for (const char* image : {"", "'RIFF' 04 00 00 00 'WAVE'", "'MThx' 00 00 00 06 'MTrk'",
                            "'RIFF' 10 00 00 00 'RMID' 'data' 00 00 00 00 'MThd'"}) {
    const std::vector<uint8_t> bytes = hexBytes(image);
    EXPECT_EQ(loadSongImage(bytes.data(), static_cast<int32_t>(bytes.size())), nullptr) << image;
    EXPECT_EQ(logLines().back(), "No MIDI header in the file");
  }
  const std::vector<uint8_t> cut = hexBytes("00 00 00 'MThd' 00 00 00 06");  // "MTh" given
  EXPECT_EQ(loadSongImage(cut.data(), 6), nullptr);
}

TEST(MidiWriter, WritesQuantitiesInAtMostFourBytes) {
  // clang-format off
  const std::pair<uint32_t, const char*> quantities[] = {
      {0, "00"}, {0x7F, "7F"}, {0x80, "81 00"}, {0x3FFF, "FF 7F"}, {0x4000, "81 80 00"}, {0x1FFFFF, "FF FF 7F"},
      {0x200000, "81 80 80 00"}, {0x0FFFFFFF, "FF FF FF 7F"}, {0x10000000, "FF FF FF 7F"}, {0xFFFFFFFF, "FF FF FF 7F"}};  // held at the largest
  // clang-format on
  for (const auto& [value, hex] : quantities) {
    uint8_t bytes[8] = {};
    uint8_t* end = encodeVarLen(value, bytes);
    EXPECT_EQ(std::vector<uint8_t>(bytes, end), hexBytes(hex)) << value;
    EXPECT_EQ(end - bytes, varLenSize(value)) << value;
  }
  loadSong(midiFile({}));  // the header alone
  EXPECT_EQ(saveSong(), hexBytes("4D 54 68 64 00 00 00 06 00 01 00 00 00 60"));
  // A song not read from a file: the image grows to what it holds (5006 bytes of track).
  buildTrack(freshSong().tracks[0], {{0, 0xF0, 0x9F, 0, 5000}, kEnd});
  testSong->trackCount = 1;
  const std::vector<uint8_t> saved = saveSong();
  EXPECT_EQ(saved.size(), 14u + 8 + (1 + 1 + 5000) + 4);
  EXPECT_EQ(std::vector<uint8_t>(saved.begin(), saved.begin() + 22),
            hexBytes("'MThd' 00 00 00 06 00 01 00 01 00 00 'MTrk' 00 00 13 8E"));
}

// Loading reads nothing outside the bytes (each prefix loads from a copy of its exact size, for the
// sanitizer run), and every prefix of the tables' images gives a fixed point.
TEST(MidiRobustness, EveryPrefixGivesAFixedPoint) {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> images;
  for (const auto& c : kReadCases) images.emplace_back(c.name, midiFile({c.events}));
  for (const auto& c : kOutsideCases) images.emplace_back(c.name, hexBytes(c.image));
  for (const auto& [name, bytes] : images) {
    for (size_t n = 0; n <= bytes.size(); ++n)
      ASSERT_EQ(fixedPointProblem(bytes.data(), n), "") << name << " cut to " << n;
  }
}
