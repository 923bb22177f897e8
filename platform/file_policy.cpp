#include "platform/file_policy.h"

#include <chrono>
#include <cstdio>
#include <random>

#include "platform/file_io.h"

uint32_t unpredictableNumber() {
  static std::mt19937 generator = [] {
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    uint32_t entropy = 0;
    try {
      entropy = std::random_device()();
    } catch (...) {
      // No random source on this system: the clock alone.
    }
    std::seed_seq seeds{entropy, static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
    return std::mt19937(seeds);
  }();
  return static_cast<uint32_t>(generator());
}

std::string temporaryFileName() {
  char text[20];
  std::snprintf(text, sizeof text, ".vk-%08x.tmp", static_cast<unsigned>(unpredictableNumber()));
  return text;
}
