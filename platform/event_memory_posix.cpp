#include "platform/event_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>
#include <unordered_map>

#include "song/song.h"

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

// Blocks from kSharedFrom up to a huge page are cut one after another from
// huge pages they share: lists of that size (a track's new order, its bends
// to link) would each be mapped afresh in small pages, a fault every 4 KB.
// A page goes back once every block cut from it has; the page blocks are
// being cut from starts again from its beginning then, already faulted in.
constexpr size_t kSharedFrom = size_t{64} << 10;

struct SharedPages {
  std::mutex lock;  // the press asks for blocks on several threads
  char* current = nullptr;
  size_t used = 0;                        // of the current page
  std::unordered_map<uintptr_t, size_t> live;  // blocks not yet released, by page
};

SharedPages& sharedPages() {
  static SharedPages pages;
  return pages;
}

void* cutSharedBlock(size_t bytes) {
  SharedPages& pages = sharedPages();
  const std::lock_guard<std::mutex> hold(pages.lock);
  // Whole cache lines: blocks that two threads fill never share one.
  const size_t size = (bytes + 63) & ~size_t{63};
  if (pages.current == nullptr || pages.used + size > kHugePage) {
    void* page = std::aligned_alloc(kHugePage, kHugePage);
    if (page == nullptr) throw std::bad_alloc();
    adviseHugePages(page, kHugePage);
    if (pages.current != nullptr && pages.live[reinterpret_cast<uintptr_t>(pages.current)] == 0) {
      pages.live.erase(reinterpret_cast<uintptr_t>(pages.current));
      std::free(pages.current);
    }
    pages.current = static_cast<char*>(page);
    pages.used = 0;
    pages.live[reinterpret_cast<uintptr_t>(page)] = 0;
  }
  char* block = pages.current + pages.used;
  pages.used += size;
  ++pages.live[reinterpret_cast<uintptr_t>(pages.current)];
  return block;
}

// Whether `block` was cut from a shared page; if so, it is given back.
bool releaseSharedBlock(void* block) {
  SharedPages& pages = sharedPages();
  const std::lock_guard<std::mutex> hold(pages.lock);
  const auto page = pages.live.find(reinterpret_cast<uintptr_t>(block) & ~(kHugePage - 1));
  if (page == pages.live.end()) return false;
  if (--page->second == 0) {
    if (reinterpret_cast<char*>(page->first) == pages.current) {
      pages.used = 0;
    } else {
      std::free(reinterpret_cast<void*>(page->first));
      pages.live.erase(page);
    }
  }
  return true;
}

// Blocks of a huge page or more are rounded up to whole, aligned huge pages
// (the pool and the writer use the extra room); the smallest are ordinary
// heap blocks. Releasing needs no size.
void* allocateEventBlock(size_t& bytes) {
  if (bytes >= kSharedFrom && bytes < kHugePage) return cutSharedBlock(bytes);
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

void releaseEventBlock(void* block, size_t) {
  if (!releaseSharedBlock(block)) std::free(block);
}

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
