// Runs a step of the musical press over its tracks (or channels) on every
// core. The items go in contiguous parts of about equal weight, one part per
// worker, so that two workers seldom write next to each other in memory
// (their counters would share cache lines). Each item is worked on its own,
// with nothing shared between parts, so the result is the same bytes
// whatever the split: the parts only change how fast it comes.
#pragma once

#include <cstddef>
#include <functional>

// Calls work(first, last) over [0, count) in parts, the first on the calling
// thread. weight(i) is item i's share of the work (its events, say); below
// kSmallWork in all, or on one core, it is a single part. An exception from
// a part is rethrown here once every part is done.
void inParts(size_t count, const std::function<size_t(size_t)>& weight,
             const std::function<void(size_t, size_t)>& work);

// Under this many events a press is over before a thread would start.
constexpr size_t kSmallWork = 1 << 12;
