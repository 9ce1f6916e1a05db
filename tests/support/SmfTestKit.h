#pragma once
// Shared by the model, reader and writer tests: every test starts and ends on
// an empty CurrentSequence, and images are parsed from an exact-size heap copy
// so that a sanitizer sees any read one byte past the end.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "SmfBuilder.h"
#include "SmfImage.h"
#include "ttSmfParser.h"
#include "ttSmfSequence.h"

namespace smftest {

class SequenceTest : public ::testing::Test {
 protected:
  void SetUp() override { CurrentSequence.Clear(); }
  void TearDown() override { CurrentSequence.Clear(); }
};

inline bool ParseImage(const Bytes& image) {
  const auto size = static_cast<std::uint32_t>(image.size());
  std::unique_ptr<std::uint8_t[]> copy(size == 0 ? nullptr : new std::uint8_t[size]);
  std::copy(image.begin(), image.end(), copy.get());
  ttSmfParser parser;
  return parser.Parse(copy.get(), size);
}

// Bytes from hex digits; spaces only group them for the reader ("00 FF2F00").
inline Bytes Hex(const char* text) {
  Bytes out;
  int high = -1;
  for (; *text != '\0'; ++text) {
    const char c = *text;
    if (c == ' ')
      continue;
    const int digit = c <= '9' ? c - '0' : c - 'A' + 10;
    if (high < 0) {
      high = digit;
    } else {
      out.push_back(static_cast<std::uint8_t>(high * 16 + digit));
      high = -1;
    }
  }
  return out;
}

// Event bytes as a vector, for readable comparisons.
inline Bytes BytesOf(const ttSmfEvent& e) {
  return Bytes(e.bytes.data, e.bytes.data + e.bytes.length);
}

// The image BuildSmfImage makes of CurrentSequence (empty when it refuses).
inline Bytes BuildImage() {
  ttByteArray out;
  const std::uint32_t n = BuildSmfImage(out);
  EXPECT_EQ(n, out.length) << "the returned count is the array's final length";
  return Bytes(out.data, out.data + out.length);
}

}  // namespace smftest
