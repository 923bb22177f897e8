// A vector whose storage comes from poolMemory, like the song's events: for
// the large working arrays of a press over a whole song (a record or two per
// event), which the command-line tool then gets in huge pages instead of
// faulting them in page by page.
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>
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
  // A record made without a value is left as `new U` leaves it: a plain
  // record unwritten. The working arrays are sized first and then filled in
  // parts, each on its own core, which so faults in and clears its own
  // fresh pages instead of one thread clearing all of them first.
  template <class U>
  void construct(U* place) {
    ::new (static_cast<void*>(place)) U;
  }
  template <class U, class... Args>
  void construct(U* place, Args&&... args) {
    ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
  }
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

// Room for `count` records from poolMemory, left unwritten: whoever fills it
// touches its fresh pages first (a step that fills it in parts, each part on
// its own core, then clears them in parallel). Only for plain records, which
// are there once written.
template <class T>
class PoolBuffer {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  explicit PoolBuffer(size_t count) : count_(count), data_(PoolAllocator<T>().allocate(count)) {}
  ~PoolBuffer() { PoolAllocator<T>().deallocate(data_, count_); }
  PoolBuffer(const PoolBuffer&) = delete;
  PoolBuffer& operator=(const PoolBuffer&) = delete;

  T* data() { return data_; }

 private:
  size_t count_;
  T* data_;
};
