// The byte array's block rules: every allocation exactly the requested size,
// shorter lengths keep the block, copies carry no spare room.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ttByteArray.h"

namespace {

// Recognisable contents, so that kept and lost bytes can be told apart.
std::uint8_t Pattern(std::uint32_t i) {
  return static_cast<std::uint8_t>(0xA0 + i);
}

// An array holding a block of `capacity` bytes filled with Pattern, `length`
// of them in use; capacity 0 means no block.
void Fill(ttByteArray& a, std::uint32_t length, std::uint32_t capacity) {
  if (capacity == 0)
    return;
  a.Resize(capacity, 4);
  for (std::uint32_t i = 0; i < capacity; ++i)
    a.data[i] = Pattern(i);
  a.Resize(length, 3);
}

struct ResizeCase {
  const char* why;
  std::uint32_t length, capacity;  // before
  std::uint32_t n;
  int mode;
  std::uint32_t wantLength, wantCapacity;
  bool sameBlock;      // the block held before is still the one in use
  std::uint32_t kept;  // leading bytes that must still hold the old contents
};

const ResizeCase kResizeCases[] = {
    {"mode 0 with 0 gives a held block back", 4, 8, 0, 0, 0, 0, false, 0},
    {"mode 0 on an empty array allocates exactly n", 0, 0, 5, 0, 5, 5, false, 0},
    {"mode 0 shorter keeps the block and its capacity", 4, 8, 3, 0, 3, 8, true, 8},
    {"mode 0 past the capacity reallocates exactly, keeping the old length", 4, 8, 12, 0, 12, 12,
     false, 4},
    {"mode 1 releases the block", 4, 8, 0, 1, 0, 0, false, 0},
    {"mode 1 on an empty array stays empty", 0, 0, 0, 1, 0, 0, false, 0},
    {"mode 2 on an empty array allocates exactly n", 0, 0, 5, 2, 5, 5, false, 0},
    {"mode 2 up to the capacity shows the bytes left from before", 4, 8, 8, 2, 8, 8, true, 8},
    {"mode 3 shorter keeps the block and the capacity", 4, 8, 2, 3, 2, 8, true, 8},
    {"mode 3 back up to the capacity allocates nothing", 2, 8, 8, 3, 8, 8, true, 8},
    {"mode 3 past the capacity reallocates as mode 5", 4, 8, 9, 3, 9, 9, false, 4},
    {"mode 4 on an empty array allocates exactly n", 0, 0, 6, 4, 6, 6, false, 0},
    {"mode 5 from length 3 to 10 keeps the first 3 bytes", 3, 3, 10, 5, 10, 10, false, 3},
    {"mode 5 copies the old length, not the old capacity", 2, 6, 10, 5, 10, 10, false, 2},
    {"mode 6 releases a held block", 4, 8, 0, 6, 0, 0, false, 0},
    {"mode 6 on an empty array changes nothing", 0, 0, 0, 6, 0, 0, false, 0},
    {"mode 7 acts as mode 6", 4, 8, 0, 7, 0, 0, false, 0},
    {"mode 255 acts as mode 6", 4, 8, 0, 255, 0, 0, false, 0},
};

TEST(ByteArray, ResizeModes) {
  for (const ResizeCase& c : kResizeCases) {
    SCOPED_TRACE(c.why);
    ttByteArray a;
    Fill(a, c.length, c.capacity);
    const std::uint8_t* before = a.data;

    a.Resize(c.n, c.mode);

    EXPECT_EQ(a.length, c.wantLength);
    EXPECT_EQ(a.capacity, c.wantCapacity);
    EXPECT_EQ(a.data == nullptr, c.wantCapacity == 0)
        << "a block is held exactly when capacity > 0";
    if (c.sameBlock) {
      EXPECT_EQ(a.data, before);
    }
    for (std::uint32_t i = 0; i < c.kept; ++i) {
      EXPECT_EQ(a.data[i], Pattern(i)) << "byte " << i;
    }
  }
}

struct StoreCase {
  const char* why;
  std::uint32_t length, capacity;  // before
  std::vector<std::uint8_t> source;
  std::uint32_t offset;
  std::uint32_t wantLength, wantCapacity;
  std::uint32_t keptBefore;  // bytes before the offset that keep the old contents
};

const StoreCase kStoreCases[] = {
    {"3 bytes at offset 1 into an empty array: length and capacity 4", 0, 0, {1, 2, 3}, 1, 4, 4, 0},
    {"a shorter store cuts the length to k + n and keeps the block", 6, 6, {1, 2}, 1, 3, 6, 1},
    {"a longer store reallocates exactly and keeps the old bytes", 2, 2, {1, 2, 3, 4}, 1, 5, 5, 1},
    {"nothing at offset 0 empties the array", 4, 8, {}, 0, 0, 0, 0},
    {"nothing at offset 1 leaves one byte for the caller", 4, 8, {}, 1, 1, 8, 1},
};

TEST(ByteArray, StoreSetsLengthToOffsetPlusCount) {
  for (const StoreCase& c : kStoreCases) {
    SCOPED_TRACE(c.why);
    ttByteArray a;
    Fill(a, c.length, c.capacity);

    a.Store(c.source.data(), static_cast<std::uint32_t>(c.source.size()), c.offset);

    EXPECT_EQ(a.length, c.wantLength);
    EXPECT_EQ(a.capacity, c.wantCapacity);
    for (std::uint32_t i = 0; i < c.keptBefore; ++i) {
      EXPECT_EQ(a.data[i], Pattern(i));
    }
    for (std::size_t i = 0; i < c.source.size(); ++i) {
      EXPECT_EQ(a.data[c.offset + i], c.source[i]);
    }
  }
}

TEST(ByteArray, CopiesAreExactAndIndependent) {
  ttByteArray roomy;
  Fill(roomy, 2, 8);

  ttByteArray copy(roomy);
  EXPECT_EQ(copy.length, 2u);
  EXPECT_EQ(copy.capacity, 2u) << "no spare room on a copy";
  ASSERT_NE(copy.data, roomy.data);
  EXPECT_EQ(copy.data[0], Pattern(0));
  EXPECT_EQ(copy.data[1], Pattern(1));
  roomy.data[0] = 0;
  EXPECT_EQ(copy.data[0], Pattern(0)) << "the copy owns its bytes";

  const ttByteArray empty;
  const ttByteArray emptyCopy(empty);
  EXPECT_EQ(emptyCopy.data, nullptr);
  EXPECT_EQ(emptyCopy.capacity, 0u);

  // Assignment follows the same rule, whatever the target held before.
  ttByteArray target;
  Fill(target, 10, 10);
  target = copy;
  EXPECT_EQ(target.length, 2u);
  EXPECT_EQ(target.capacity, 2u);
  EXPECT_EQ(target.data[1], Pattern(1));
  target = empty;
  EXPECT_EQ(target.data, nullptr);
  EXPECT_EQ(target.length, 0u);
  EXPECT_EQ(target.capacity, 0u);

  ttByteArray& alias = copy;
  copy = alias;
  EXPECT_EQ(copy.length, 2u);
  EXPECT_EQ(copy.data[1], Pattern(1)) << "self-assignment keeps the bytes";
}

}  // namespace
