// The byte array's block rules: every allocation exactly the requested size,
// shorter lengths keep the block, copies carry no spare room.

#include <gtest/gtest.h>

#include <cstdint>

#include "ttByteArray.h"

namespace {

std::uint8_t Pattern(std::uint32_t i) {
  return static_cast<std::uint8_t>(0xA0 + i);
}

// A block of `capacity` bytes filled with Pattern, `length` of them in use.
void Fill(ttByteArray& a, std::uint32_t length, std::uint32_t capacity) {
  if (capacity == 0)
    return;
  a.Resize(capacity, 4);
  for (std::uint32_t i = 0; i < capacity; ++i)
    a.data[i] = Pattern(i);
  a.Resize(length, 3);
}

TEST(ByteArray, ResizeModes) {
  const struct {
    const char* why;
    std::uint32_t length, capacity, n;  // before, and the request
    int mode;
    std::uint32_t wantLength, wantCapacity;
    bool sameBlock;      // the block held before is still the one in use
    std::uint32_t kept;  // leading bytes that still hold the old contents
  } kRows[] = {
      {"0 with n 0 gives the block back", 4, 8, 0, 0, 0, 0, false, 0},
      {"0 on an empty array allocates exactly n", 0, 0, 5, 0, 5, 5, false, 0},
      {"0 shorter keeps the block and its capacity", 4, 8, 3, 0, 3, 8, true, 8},
      {"0 past the capacity: exact, old length kept", 4, 8, 12, 0, 12, 12, false, 4},
      {"1 releases the block", 4, 8, 0, 1, 0, 0, false, 0},
      {"2 up to the capacity shows the bytes from before", 4, 8, 8, 2, 8, 8, true, 8},
      {"3 past the capacity reallocates as 5", 4, 8, 9, 3, 9, 9, false, 4},
      {"4 allocates exactly n", 0, 0, 6, 4, 6, 6, false, 0},
      {"5 copies the old length, not the capacity", 2, 6, 10, 5, 10, 10, false, 2},
      {"255 releases, as 6", 4, 8, 0, 255, 0, 0, false, 0},
  };
  for (const auto& c : kRows) {
    SCOPED_TRACE(c.why);
    ttByteArray a;
    Fill(a, c.length, c.capacity);
    const std::uint8_t* before = a.data;
    a.Resize(c.n, c.mode);
    EXPECT_EQ(a.length, c.wantLength);
    ASSERT_EQ(a.capacity, c.wantCapacity);
    ASSERT_EQ(a.data == nullptr, c.wantCapacity == 0) << "a block when capacity > 0";
    if (c.sameBlock) {
      EXPECT_EQ(a.data, before);
    }
    for (std::uint32_t i = 0; i < c.kept; ++i)
      EXPECT_EQ(a.data[i], Pattern(i)) << "byte " << i;
  }
}

TEST(ByteArray, CopiesAndAssignmentsAreExactAndIndependent) {
  ttByteArray roomy, target, empty;
  Fill(roomy, 2, 8);
  Fill(target, 10, 10);
  ttByteArray copy(roomy);
  target = copy;
  roomy.data[0] = 0;
  ttByteArray& alias = target;
  target = alias;
  for (const ttByteArray* a : {&copy, &target}) {
    EXPECT_EQ(a->length, 2u);
    EXPECT_EQ(a->capacity, 2u) << "no spare room on a copy";
    EXPECT_TRUE(a->data[0] == Pattern(0) && a->data[1] == Pattern(1)) << "owns its bytes";
  }
  target = empty;
  EXPECT_TRUE(target.data == nullptr && target.capacity == 0) << "an empty copy holds no block";
}

}  // namespace
