// The read cursor's rules for short reads, skips and `last`: the reader relies
// on a short count (never an error) to see that a file ended too soon.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "ttByteStream.h"

namespace {

constexpr std::uint32_t kUnset = 99;  // `last` before the call, to see whether it changes

TEST(ByteStream, ReadAndSkip) {
  const struct {
    const char* why;
    bool skip;  // Skip(n), otherwise Read(n)
    std::uint32_t position, n;
    std::uint32_t wantResult;  // count read, or 1/0 for Skip's true/false
    std::uint32_t wantPosition, wantLast;
  } kRows[] = {
      // Eight bytes in the stream.
      {"read at the end returns 0 and changes nothing", false, 8, 3, 0, 8, kUnset},
      {"read of 10 with 4 left copies 4", false, 4, 10, 4, 8, 4},
      {"read of 3 with 6 left copies 3", false, 2, 3, 3, 5, 3},
      {"read of exactly what is left", false, 5, 3, 3, 8, 3},
      {"read of 0 before the end sets last to 0", false, 2, 0, 0, 2, 0},
      {"skip of 0 at the end is true and changes nothing", true, 8, 0, 1, 8, kUnset},
      {"skip of 0 before the end leaves last", true, 2, 0, 1, 2, kUnset},
      {"skip of 5 at the end is false and changes nothing", true, 8, 5, 0, 8, kUnset},
      {"skip of 5 with 2 left moves to the end, false", true, 6, 5, 0, 8, 2},
      {"skip of exactly what is left is true", true, 5, 3, 1, 8, 3},
  };
  std::array<std::uint8_t, 8> source{};
  for (std::size_t i = 0; i < source.size(); ++i)
    source[i] = static_cast<std::uint8_t>(0x10 + i);

  for (const auto& c : kRows) {
    SCOPED_TRACE(c.why);
    ttByteStream s;
    s.Attach(source.data(), 8);
    s.position = c.position;
    s.last = kUnset;
    std::array<std::uint8_t, 16> out;
    out.fill(0xEE);
    const std::uint32_t result = c.skip ? (s.Skip(c.n) ? 1u : 0u) : s.Read(out.data(), c.n);
    EXPECT_EQ(result, c.wantResult);
    EXPECT_EQ(s.position, c.wantPosition);
    EXPECT_EQ(s.last, c.wantLast);
    // Exactly the counted bytes arrive, from the old position; nothing beyond them.
    for (std::uint32_t i = 0; i < out.size() && !c.skip; ++i)
      EXPECT_EQ(out[i], i < result ? source[c.position + i] : 0xEE) << "byte " << i;
  }
}

}  // namespace
