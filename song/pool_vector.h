// A vector whose storage comes from poolMemory, like the song's events: for
// the large working arrays of a press over a whole song (a record or two per
// event), which the command-line tool then gets in huge pages instead of
// faulting them in page by page.
#pragma once

#include <cstddef>
#include <vector>

#include "song/song.h"

template <class T>
struct PoolAllocator {
  using value_type = T;
  PoolAllocator() = default;
  template <class U>
  PoolAllocator(const PoolAllocator<U>&) {}  // NOLINT: converts as std::allocator does
  T* allocate(size_t count) {
    size_t bytes = count * sizeof(T);
    return static_cast<T*>(poolMemory.allocate(bytes));
  }
  void deallocate(T* block, size_t count) { poolMemory.release(block, count * sizeof(T)); }
  template <class U>
  bool operator==(const PoolAllocator<U>&) const {
    return true;
  }
  template <class U>
  bool operator!=(const PoolAllocator<U>&) const {
    return false;
  }
};

template <class T>
using PoolVector = std::vector<T, PoolAllocator<T>>;
