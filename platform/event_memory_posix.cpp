#include "platform/event_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>

#include "song/song.h"

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

// Blocks of a huge page or more are rounded up to whole, aligned huge pages
// (the pool and the writer use the extra room); smaller ones are ordinary
// heap blocks. Both are freed with free(), so that releasing needs no size.
void* allocateEventBlock(size_t& bytes) {
  if (bytes < kHugePage) {
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr) throw std::bad_alloc();
    return block;
  }
  bytes = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* block = std::aligned_alloc(kHugePage, bytes);
  if (block == nullptr) throw std::bad_alloc();
  adviseHugePages(block, bytes);
  return block;
}

void releaseEventBlock(void* block, size_t) { std::free(block); }

}  // namespace

void adviseHugePages(void* data, size_t length) {
#ifdef MADV_HUGEPAGE
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + length) & ~(kHugePage - 1);
  if (begin < end) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)length;
#endif
}

void useLargePagesForEvents() { poolMemory = {allocateEventBlock, releaseEventBlock}; }
