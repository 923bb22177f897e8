// The libFuzzer targets, each with one of the tests' own checks: varnook_fuzz_song, the reader and
// writer (any input loads without a fault and saves to bytes that read back and save alike);
// varnook_fuzz_pipeline, load, presses in either style, save, read again (see pipelineProblem).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/midi_builder.h"
#include "support/press_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
#ifdef VARNOOK_FUZZ_PIPELINE
  const std::string problem = pipelineProblem(data, size);
#else
  const std::string problem = fixedPointProblem(data, size);
#endif
  if (!problem.empty()) {
    std::fprintf(stderr, "check failed: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
