#include "song/song.h"

#include <algorithm>
#include <memory>

MidiEvent::~MidiEvent() { delete[] extra; }

namespace {

void* allocateWithNew(size_t& bytes) { return ::operator new(bytes); }
void releaseWithDelete(void* block, size_t) { ::operator delete(block); }

}  // namespace

PoolMemory poolMemory = {allocateWithNew, releaseWithDelete};

EventPool::~EventPool() {
  for (const Block& block : blocks) {
    std::destroy_n(block.nodes, block.used);
    poolMemory.release(block.nodes, block.bytes);
  }
}

void addPoolBlock(EventPool& pool) {
  constexpr size_t kSmallest = 256;
  constexpr size_t kLargest = 65536;
  const size_t capacity = std::clamp(pool.made, kSmallest, kLargest);
  size_t bytes = capacity * sizeof(MidiEvent);
  void* nodes = poolMemory.allocate(bytes);
  pool.blocks.push_back({static_cast<MidiEvent*>(nodes), bytes / sizeof(MidiEvent), 0, bytes});
}

void takeEvents(Song& song, size_t count, std::vector<EventRun>& runs) {
  EventPool& pool = song.events;
  const size_t from = runs.size();
  try {
    while (count > 0) {
      EventPool::Block& block = openPoolBlock(pool);
      const size_t n = std::min(count, block.capacity - block.used);
      runs.push_back({block.nodes + block.used, n});
      block.used += n;
      pool.made += n;
      count -= n;
    }
  } catch (...) {
    // The pool destroys every node it counts as used.
    for (size_t r = from; r < runs.size(); ++r) std::uninitialized_default_construct_n(runs[r].first, runs[r].count);
    throw;
  }
}
