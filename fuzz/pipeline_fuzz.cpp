// Fuzzes what a song goes through after it is read: load, presses in either style, save, and
// reading the saved file again, each checked by the tests' own checkers. An input is a MIDI image
// and 11 bytes of settings (see pipelineProblem).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/press_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  const std::string problem = pipelineProblem(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "pipeline check failed: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
