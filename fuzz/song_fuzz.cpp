// Fuzzes the reader and the writer together: any input loads without a fault, and what is saved
// reads back and saves to the same bytes, as the tests check.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/midi_builder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  const std::string problem = fixedPointProblem(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "fixed-point check failed: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
