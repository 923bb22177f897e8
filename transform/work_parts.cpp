#include "transform/work_parts.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// More would only split the tracks of a small song thinner than the cost of
// starting a thread.
constexpr unsigned kMostWorkers = 8;

// Asked once: the C library counts the cores anew on every call, from a
// system file on Linux.
unsigned workerCount() {
  static const unsigned workers = std::clamp(std::thread::hardware_concurrency(), 1u, kMostWorkers);
  return workers;
}

}  // namespace

void inParts(size_t count, const std::function<size_t(size_t)>& weight,
             const std::function<void(size_t, size_t)>& work) {
  size_t total = 0;
  for (size_t i = 0; i < count; ++i) total += weight(i);
  const size_t workers = std::min<size_t>(workerCount(), count);
  if (workers < 2 || total < kSmallWork) {
    work(0, count);
    return;
  }
  // Part p ends where the weight so far reaches p + 1 shares: after the
  // item that reaches it, or before, whichever comes nearer (one heavy item
  // last would otherwise take the whole of the first part with it).
  std::vector<size_t> ends;
  size_t sum = 0;
  for (size_t i = 0; i < count && ends.size() + 1 < workers; ++i) {
    const size_t before = sum, share = total * (ends.size() + 1);
    sum += weight(i);
    if (sum * workers < share) continue;
    const size_t partFirst = ends.empty() ? 0 : ends.back();
    // (An item that passed an earlier share too ends its part after it.)
    const bool after = i == partFirst || before * workers >= share ||
                       sum * workers - share <= share - before * workers;
    ends.push_back(after ? i + 1 : i);
  }
  ends.push_back(count);
  std::vector<std::exception_ptr> failed(ends.size());
  std::vector<std::thread> threads;
  threads.reserve(ends.size() - 1);
  size_t first = ends[0];
  for (size_t p = 1; p < ends.size(); first = ends[p++]) {
    const size_t last = ends[p];
    auto run = [&work, &failed, first, last, p] {
      try {
        work(first, last);
      } catch (...) {
        failed[p] = std::current_exception();
      }
    };
    try {
      threads.emplace_back(run);
    } catch (const std::system_error&) {
      run();  // no thread to be had: the part runs here instead
    }
  }
  try {
    work(0, ends[0]);
  } catch (...) {
    failed[0] = std::current_exception();
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::exception_ptr& failure : failed) {
    if (failure) std::rethrow_exception(failure);
  }
}
