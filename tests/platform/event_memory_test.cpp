// The tool's block memory: blocks of every size, mid-sized ones cut from
// shared huge pages, never overlap, survive the release of their
// neighbours, and come back for reuse.
#ifndef _WIN32
#include "platform/event_memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "song/song.h"

TEST(EventMemory, BlocksOfEverySizeKeepTheirBytesWhateverIsReleased) {
  const PoolMemory before = poolMemory;
  useLargePagesForEvents();
  struct Block {
    unsigned char* data;
    size_t bytes;
  };
  std::vector<Block> blocks;
  // Small, shared-page and huge blocks, several to a page, one that no longer fits the page.
  for (const size_t bytes : {size_t{100}, size_t{64} << 10, size_t{700} << 10, size_t{700} << 10,
                             size_t{900} << 10, size_t{2} << 20, size_t{65} << 10}) {
    size_t asked = bytes;
    auto* data = static_cast<unsigned char*>(poolMemory.allocate(asked));
    EXPECT_GE(asked, bytes);
    std::memset(data, static_cast<int>(blocks.size() + 1), bytes);
    blocks.push_back({data, bytes});
  }
  const auto intact = [](const Block& block, size_t mark) {
    for (size_t i = 0; i < block.bytes; i += 4096) {
      if (block.data[i] != mark || block.data[block.bytes - 1] != mark) return false;
    }
    return true;
  };
  for (size_t b = 0; b < blocks.size(); ++b) EXPECT_TRUE(intact(blocks[b], b + 1)) << b;
  // Released out of order, then cut again: the others keep their bytes.
  for (const size_t b : {2u, 4u}) poolMemory.release(blocks[b].data, 0);
  size_t again = size_t{700} << 10;
  auto* reused = static_cast<unsigned char*>(poolMemory.allocate(again));
  std::memset(reused, 0xEE, size_t{700} << 10);
  for (const size_t b : {0u, 1u, 3u, 5u, 6u}) EXPECT_TRUE(intact(blocks[b], b + 1)) << b;
  poolMemory.release(reused, 0);
  for (const size_t b : {0u, 1u, 3u, 5u, 6u}) poolMemory.release(blocks[b].data, blocks[b].bytes);
  poolMemory = before;
}
#endif
