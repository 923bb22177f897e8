#include "platform/event_memory.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

#include "song/song.h"

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

// Blocks of a huge page or more are rounded up to whole, aligned huge pages
// (the pool and the writer use the extra room); smaller ones are ordinary
// heap blocks. Both are freed with free(), so that releasing needs no size.
void* allocateEventBlock(size_t& bytes) {
  void* block = nullptr;
  if (bytes < kHugePage) {
    block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr) throw std::bad_alloc();
    return block;
  }
  bytes = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  block = std::aligned_alloc(kHugePage, bytes);
  if (block == nullptr) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
  // Advice only: a system without huge pages to give uses small ones.
  madvise(block, bytes, MADV_HUGEPAGE);
#endif
  return block;
}

void releaseEventBlock(void* block, size_t) { std::free(block); }

}  // namespace

void useLargePagesForEvents() { poolMemory = {allocateEventBlock, releaseEventBlock}; }
