// The block source: small blocks and nodes are cut from shared chunks, so
// they must stay apart, outlive their neighbours' release and keep their
// alignment; every block is still exactly the size asked for.

#include <gtest/gtest.h>

#include <algorithm>  // std::shuffle
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "ttMemory.h"

namespace {

struct Block {
  std::uint8_t* data;
  std::uint32_t size;
  std::uint8_t tag;
  bool node;  // cut from the node pool, 8-byte aligned
};

void Give(const Block& b) {
  b.node ? ttReleaseNode(b.data, b.size) : ttReleaseBytes(b.data, b.size);
}

TEST(BlockSource, BlocksStayApartWhileOthersComeAndGo) {
  // Sizes are taken in turn, 48 as a list node; counts fill several chunks,
  // and the large sizes several slabs.
  const struct {
    const char* why;
    std::vector<std::uint32_t> sizes;
    std::size_t count;
  } kRows[] = {
      {"channel messages of two and three bytes", {2, 3}, 300000},
      {"nodes and their bytes interleaved", {48, 3, 48, 1, 48, 6}, 120000},
      {"around the largest pooled size", {4095, 4096, 4097, 1}, 8000},
      {"empty blocks among one-byte ones", {0, 1}, 2000},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    std::mt19937 random(20261207);
    std::vector<Block> live;
    auto takeMore = [&](std::size_t n) {
      for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t size = row.sizes[live.size() % row.sizes.size()];
        Block b{nullptr, size, static_cast<std::uint8_t>(random() | 1u), size == 48};
        b.data =
            b.node ? static_cast<std::uint8_t*>(ttAllocateNode(size, 8)) : ttAllocateBytes(size);
        if (size != 0)
          std::memset(b.data, b.tag, size);
        live.push_back(b);
      }
    };
    takeMore(row.count);
    // Half goes back in random order, emptying some chunks and not others;
    // as many again are cut, some where the released ones were.
    std::shuffle(live.begin(), live.end(), random);
    for (std::size_t i = row.count / 2; i < live.size(); ++i)
      Give(live[i]);
    live.resize(row.count / 2);
    takeMore(row.count);
    for (const Block& b : live) {
      ASSERT_EQ(std::count(b.data, b.data + b.size, b.tag), b.size)
          << b.size << " bytes overwritten";
      ASSERT_TRUE(!b.node || reinterpret_cast<std::uintptr_t>(b.data) % 8 == 0);
    }
    std::for_each(live.begin(), live.end(), Give);
  }
}

}  // namespace
