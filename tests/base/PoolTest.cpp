// The block source: small blocks and nodes are cut from shared chunks, so
// they must stay apart, outlive their neighbours' release and keep their
// alignment; every block is still exactly the size asked for.

#include <gtest/gtest.h>

#include <algorithm>  // std::shuffle
#include <cstddef>
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
  bool node;
};

Block Take(std::uint32_t size, std::uint8_t tag, bool node) {
  Block block{nullptr, size, tag, node};
  block.data = node ? static_cast<std::uint8_t*>(ttAllocateNode(size, 8)) : ttAllocateBytes(size);
  if (size != 0)
    std::memset(block.data, tag, size);
  return block;
}

void Give(const Block& block) {
  if (block.node) {
    ttReleaseNode(block.data, block.size);
  } else {
    ttReleaseBytes(block.data, block.size);
  }
}

bool Intact(const Block& block) {
  for (std::uint32_t i = 0; i < block.size; ++i) {
    if (block.data[i] != block.tag)
      return false;
  }
  return true;
}

TEST(BlockSource, BlocksStayApartWhileOthersComeAndGo) {
  // Sizes are taken in turn; 48 stands for a list node (cut from the node
  // pool, 8-byte aligned). Counts are large enough to fill several chunks,
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
        live.push_back(Take(size, static_cast<std::uint8_t>(random() | 1u), size == 48));
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

    for (const Block& block : live) {
      ASSERT_TRUE(Intact(block)) << "a block of " << block.size << " bytes was overwritten";
      if (block.node) {
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>(block.data) % 8, 0u);
      }
    }
    for (const Block& block : live)
      Give(block);
  }
}

}  // namespace
