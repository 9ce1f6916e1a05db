// The read cursor's rules for short reads, skips and `last`: the reader relies
// on a short count (never an error) to see that a file ended too soon.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "ttByteStream.h"

namespace {

constexpr std::uint32_t kUnset = 99;  // `last` before the call, to see whether it changes

struct StreamCase {
  const char* why;
  bool skip;  // Skip(n), otherwise Read(n)
  std::uint32_t size, position, n;
  std::uint32_t wantResult;  // count read, or 1/0 for Skip's true/false
  std::uint32_t wantPosition, wantLast;
};

const StreamCase kCases[] = {
    {"read at the end returns 0 and changes nothing", false, 8, 8, 3, 0, 8, kUnset},
    {"read on a detached stream returns 0", false, 0, 0, 1, 0, 0, kUnset},
    {"read of 10 with 4 left copies 4", false, 8, 4, 10, 4, 8, 4},
    {"read of 3 with 8 left copies 3", false, 8, 0, 3, 3, 3, 3},
    {"read of exactly what is left", false, 8, 5, 3, 3, 8, 3},
    {"read of 0 before the end sets last to 0", false, 8, 2, 0, 0, 2, 0},
    {"skip of 0 at the end is true and changes nothing", true, 8, 8, 0, 1, 8, kUnset},
    {"skip of 0 before the end is true and leaves last", true, 8, 2, 0, 1, 2, kUnset},
    {"skip of 5 at the end is false and changes nothing", true, 8, 8, 5, 0, 8, kUnset},
    {"skip of 5 with 2 left moves to the end and is false", true, 8, 6, 5, 0, 8, 2},
    {"skip of exactly what is left is true", true, 8, 5, 3, 1, 8, 3},
    {"skip of 3 with 8 left is true", true, 8, 0, 3, 1, 3, 3},
};

TEST(ByteStream, ReadAndSkip) {
  std::array<std::uint8_t, 16> source{};
  for (std::size_t i = 0; i < source.size(); ++i)
    source[i] = static_cast<std::uint8_t>(0x10 + i);

  for (const StreamCase& c : kCases) {
    SCOPED_TRACE(c.why);
    ttByteStream s;
    s.Attach(c.size == 0 ? nullptr : source.data(), c.size);
    s.position = c.position;
    s.last = kUnset;
    std::array<std::uint8_t, 16> out;
    out.fill(0xEE);

    const std::uint32_t result = c.skip ? (s.Skip(c.n) ? 1u : 0u) : s.Read(out.data(), c.n);

    EXPECT_EQ(result, c.wantResult);
    EXPECT_EQ(s.position, c.wantPosition);
    EXPECT_EQ(s.last, c.wantLast);
    if (!c.skip) {
      // Exactly the counted bytes arrive, from the old position; nothing beyond them.
      for (std::uint32_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(out[i], i < result ? source[c.position + i] : 0xEE) << "byte " << i;
      }
    }
  }
}

}  // namespace
