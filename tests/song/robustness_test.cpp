#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "song/song.h"
#include "support/test_support.h"

namespace {

// What every Song the reader makes must look like, whatever the input.
void expectWellShaped(const Song& song) {
  ASSERT_GE(song.trackCount, 0);
  ASSERT_LE(song.trackCount, kMaxTracks);
  for (int t = 0; t < kMaxTracks; ++t) {
    const TrackSlot& slot = song.tracks[t];
    if (t >= song.trackCount) {
      EXPECT_EQ(slot.head.dataLength, 0);
      EXPECT_EQ(slot.head.next, nullptr);
      continue;
    }
    const MidiEvent* last = &slot.head;
    for (const MidiEvent* e = &slot.head; e != nullptr; e = e->next) {
      if (e->dataLength > 2) {
        ASSERT_NE(e->extra, nullptr);
      }
      EXPECT_LE(e->deltaTime, 0x0FFFFFFFu);
      last = e;
    }
    EXPECT_EQ(last->status, 0xFF);
    EXPECT_EQ(last->data1, 0x2F);
  }
}

// Loading what was saved must change nothing more: the output is a file
// the reader takes without complaint and writes back byte for byte.
void expectSavedOutputIsAFixedPoint(const std::vector<uint8_t>& input) {
  expectWellShaped(*loadSongFromBytes(input));
  std::vector<uint8_t> first = saveSongToBytes();
  expectWellShaped(*loadSongFromBytes(first));
  std::vector<std::string> lines = logLines();
  ASSERT_EQ(lines.size(), 2u) << "the reader complained about its own output: " << lines.back();
  EXPECT_EQ(saveSongToBytes(), first);
}

std::vector<std::filesystem::path> smallSampleFiles(size_t maxBytes, size_t count) {
  std::vector<std::filesystem::path> picked;
  for (const auto& path : sampleMidiFiles()) {
    if (std::filesystem::file_size(path) <= maxBytes) picked.push_back(path);
    if (picked.size() == count) break;
  }
  return picked;
}

#define SKIP_WITHOUT_SAMPLES()                                                        \
  if (sampleMidiFiles().empty()) {                                                    \
    GTEST_SKIP() << "no sample MIDI files (set VARNOOK_TESTDATA_DIR or add "          \
                    "../shared/testdata/midi)";                                       \
  }

// A random well-formed file: shortest quantities, running status only after
// channel messages, meta and sysex lengths beyond 127 now and then, no
// meaningless meta data.
std::vector<uint8_t> randomWellFormedFile(std::mt19937& random, int tracks) {
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<uint32_t>(n)); };
  std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, static_cast<uint8_t>(tracks),
                               static_cast<uint8_t>(pick(256)), static_cast<uint8_t>(pick(256))};
  auto putVarLen = [](std::vector<uint8_t>& out, uint32_t value) {
    uint8_t groups[4];
    int n = 0;
    do {
      groups[n++] = value & 0x7F;
      value >>= 7;
    } while (value != 0);
    while (n > 1) out.push_back(static_cast<uint8_t>(0x80 | groups[--n]));
    out.push_back(groups[0]);
  };
  for (int t = 0; t < tracks; ++t) {
    std::vector<uint8_t> body;
    uint8_t running = 0;
    int events = pick(60);
    for (int i = 0; i < events; ++i) {
      static const uint32_t kDeltas[] = {0, 1, 0x7F, 0x80, 0x3FFF, 0x4000, 0x0FFFFFFF};
      putVarLen(body, pick(3) == 0 ? kDeltas[pick(7)] : static_cast<uint32_t>(pick(200)));
      int kind = pick(10);
      if (kind < 6) {
        uint8_t status = static_cast<uint8_t>(0x80 + pick(0x70));
        if (running != 0 && status != running && pick(2) == 0) status = running;
        if (status != running || pick(3) == 0) body.push_back(status);
        running = status;
        body.push_back(static_cast<uint8_t>(pick(128)));
        if (status < 0xC0 || status >= 0xE0) body.push_back(static_cast<uint8_t>(pick(128)));
      } else if (kind < 8) {
        uint32_t length = pick(4) == 0 ? static_cast<uint32_t>(128 + pick(300)) : static_cast<uint32_t>(pick(20));
        body.push_back(0xFF);
        body.push_back(static_cast<uint8_t>(1 + pick(7)));  // text types take any bytes
        putVarLen(body, length);
        for (uint32_t k = 0; k < length; ++k) body.push_back(static_cast<uint8_t>(pick(256)));
        running = 0;
      } else {
        uint32_t length = static_cast<uint32_t>(pick(2) == 0 ? pick(5) : 100 + pick(200));
        body.push_back(pick(2) == 0 ? 0xF0 : 0xF7);
        putVarLen(body, length);
        for (uint32_t k = 0; k < length; ++k) body.push_back(static_cast<uint8_t>(pick(128)));
        running = 0;
      }
    }
    body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    for (int shift = 24; shift >= 0; shift -= 8) file.push_back(static_cast<uint8_t>(body.size() >> shift));
    file.insert(file.end(), body.begin(), body.end());
  }
  return file;
}

}  // namespace

TEST(MidiRoundTrip, WellFormedRandomFilesComeBackByteForByte) {
  std::mt19937 random(20261207);
  for (int seed = 0; seed < 300; ++seed) {
    std::vector<uint8_t> file = randomWellFormedFile(random, 1 + seed % 16);
    loadSongFromBytes(file);
    ASSERT_EQ(logLines().size(), 2u) << "seed " << seed << ": " << logLines().back();
    ASSERT_EQ(saveSongToBytes(), file) << "seed " << seed;
  }
}

TEST(MidiRoundTrip, EverySampleFileSavesToAFileThatReadsBackUnchanged) {
  SKIP_WITHOUT_SAMPLES();
  for (const auto& path : sampleMidiFiles()) {
    SCOPED_TRACE(path.filename().string());
    expectSavedOutputIsAFixedPoint(readFileBytes(path));
  }
}

TEST(MidiRobustness, EveryPrefixOfRealFilesLoads) {
  SKIP_WITHOUT_SAMPLES();
  std::vector<std::filesystem::path> files = smallSampleFiles(4000, 4);
  ASSERT_FALSE(files.empty());
  for (const auto& path : files) {
    std::vector<uint8_t> bytes = readFileBytes(path);
    for (size_t n = 0; n <= bytes.size(); ++n) {
      SCOPED_TRACE(path.filename().string() + " cut to " + std::to_string(n) + " bytes");
      // An exact-size copy, so that the address sanitizer sees any read past it.
      std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<long>(n));
      prefix.shrink_to_fit();
      expectSavedOutputIsAFixedPoint(prefix);
      if (HasFatalFailure()) return;
    }
  }
}

TEST(MidiRobustness, DamageToAnySingleByteOfARealFileIsSurvived) {
  SKIP_WITHOUT_SAMPLES();
  std::vector<std::filesystem::path> files = smallSampleFiles(1200, 1);
  ASSERT_FALSE(files.empty());
  std::vector<uint8_t> bytes = readFileBytes(files[0]);
  for (size_t i = 0; i < bytes.size(); ++i) {
    for (uint8_t value : {uint8_t{0x00}, uint8_t{0x7F}, uint8_t{0x80}, uint8_t{0xFF},
                          static_cast<uint8_t>(bytes[i] ^ 0x01)}) {
      SCOPED_TRACE("byte " + std::to_string(i) + " set to " + std::to_string(value));
      std::vector<uint8_t> damaged = bytes;
      damaged[i] = value;
      expectSavedOutputIsAFixedPoint(damaged);
      if (HasFatalFailure()) return;
    }
  }
}
