// Fuzzes the reader and the writer together: any input must load without a
// fault, and what is saved must read back without a damage line and save to
// the same bytes (the fixed point the unit tests check too).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "song/song.h"
#include "support/midi_builder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  const std::string problem = fixedPointProblem(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "fixed-point check failed: %s\n", problem.c_str());
    std::abort();
  }
  delete currentSong;
  currentSong = nullptr;
  return 0;
}
