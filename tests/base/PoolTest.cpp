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

TEST(BlockSource, BlocksStayApartWhileOthersComeAndGo) {
  // Sizes are taken in turn, 48 as a list node (8-byte aligned, from the node
  // pool); counts fill several chunks, and the large sizes several slabs.
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
  struct Block {
    std::uint8_t* data;
    std::uint32_t size;
    std::uint8_t tag;
  };
  auto give = [](const Block& b) {
    b.size == 48 ? ttReleaseNode(b.data, b.size) : ttReleaseBytes(b.data, b.size);
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    std::mt19937 random(20261207);
    std::vector<Block> live;
    auto takeMore = [&](std::size_t n) {
      for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t size = row.sizes[live.size() % row.sizes.size()];
        const auto tag = static_cast<std::uint8_t>(random() | 1u);
        live.push_back({size == 48 ? static_cast<std::uint8_t*>(ttAllocateNode(size, 8))
                                   : ttAllocateBytes(size),
                        size, tag});
        if (size != 0)
          std::memset(live.back().data, tag, size);
      }
    };
    takeMore(row.count);
    // Half goes back in random order, emptying some chunks and not others;
    // as many again are cut, some where the released ones were.
    std::shuffle(live.begin(), live.end(), random);
    std::for_each(live.begin() + static_cast<std::ptrdiff_t>(row.count / 2), live.end(), give);
    live.resize(row.count / 2);
    takeMore(row.count);
    for (const Block& b : live) {
      ASSERT_EQ(std::count(b.data, b.data + b.size, b.tag), b.size)
          << b.size << " bytes overwritten";
      ASSERT_TRUE(b.size != 48 || reinterpret_cast<std::uintptr_t>(b.data) % 8 == 0);
    }
    std::for_each(live.begin(), live.end(), give);
  }
}

}  // namespace
