// Round trip as the oracle, over many generated files: a canonical file comes
// back byte for byte; any file keeps its events through parse, write, parse.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "SmfTestKit.h"

namespace smftest {
namespace {

using RoundTrip = SequenceTest;

constexpr std::uint32_t kFiles = 12;

// Varied shapes for seed i: format, track count, division, length.
GenerateOptions Shape(std::uint32_t i) {
  static const std::uint16_t kDivisions[] = {480, 96, 0xE728, 0xE250, 0x7FFF};
  GenerateOptions o;
  o.format = static_cast<std::uint16_t>(i % 3);
  o.tracks = 1 + static_cast<int>(i % 5);
  o.division = kDivisions[i % 5];
  o.eventsPerTrack = 600 + static_cast<int>(i * 97 % 900);
  o.tempo = i % 4 != 0;
  o.hugeDeltas = i % 2 == 0;  // their times wrap past 2^32 - 1
  return o;
}

// What the memory rules promise after a parse: every stored event exactly its
// own size, and StagingEvent no larger than the longest event built.
void ExpectExactEventSizes() {
  std::uint32_t longest = 0;
  for (const ttSmfTrack& track : CurrentSequence.tracks) {
    for (const ttSmfEvent& e : track) {
      ASSERT_EQ(e.bytes.capacity, e.bytes.length);
      longest = std::max(longest, e.bytes.length);
    }
  }
  EXPECT_EQ(StagingEvent.bytes.capacity, longest);
}

TEST_F(RoundTrip, CanonicalFilesComeBackByteForByte) {
  bool wrapped = false;
  for (std::uint32_t i = 0; i < kFiles; ++i) {
    SCOPED_TRACE(i);
    GenerateOptions o = Shape(i);
    o.runningStatus = false;
    std::vector<Track> expected;
    const Bytes file = GenerateSmf(1000 + i, o, &expected);

    StagingEvent.bytes.Resize(0, 1);  // as at program start
    ASSERT_TRUE(ParseImage(file));
    EXPECT_EQ(CurrentSequence.format, o.format);
    EXPECT_EQ(CurrentSequence.division, o.division);
    ASSERT_EQ(SnapshotSequence(), expected);
    ExpectExactEventSizes();

    EXPECT_TRUE(BuildImage() == file) << "canonical file not reproduced";
    for (const Track& track : expected) {
      for (std::size_t k = 1; k < track.size(); ++k)
        wrapped |= track[k].time < track[k - 1].time;
    }
  }
  EXPECT_TRUE(wrapped) << "no generated file took its times past 2^32 - 1";
}

// Wraps a generated file in everything the reader accepts and the writer never
// emits: a MacBinary prefix, extra header bytes, foreign chunks between the
// tracks and bytes after the last announced chunk.
Bytes Decorate(const Bytes& file, std::mt19937& rng) {
  auto byte = [&]() { return static_cast<std::uint8_t>(rng()); };
  Bytes out;
  if (rng() % 2 == 0) {
    out.resize(128);
    for (std::size_t k = 1; k < 128; ++k)
      out[k] = k == 74 || k == 82 ? 0 : byte();
  }
  std::vector<Bytes> chunks;
  for (std::size_t p = 14; p < file.size();) {
    const std::size_t n = 8 + (std::size_t{file[p + 4]} << 24 | std::size_t{file[p + 5]} << 16 |
                               std::size_t{file[p + 6]} << 8 | file[p + 7]);
    if (rng() % 3 == 0) {
      Bytes foreign = {'X', 'Y', 'Z', byte(), 0, 0, 0, static_cast<std::uint8_t>(rng() % 20)};
      for (std::uint8_t k = 0; k < foreign[7]; ++k)
        foreign.push_back(byte());
      chunks.push_back(foreign);
    }
    chunks.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(p),
                        file.begin() + static_cast<std::ptrdiff_t>(p + n));
    p += n;
  }
  const auto extra = static_cast<std::uint8_t>(rng() % 6);
  const Bytes header = {'M',      'T',
                        'h',      'd',
                        0,        0,
                        0,        static_cast<std::uint8_t>(6 + extra),
                        file[8],  file[9],  // format
                        0,        static_cast<std::uint8_t>(chunks.size()),
                        file[12], file[13]};  // division
  out.insert(out.end(), header.begin(), header.end());
  for (std::uint8_t k = 0; k < extra; ++k)
    out.push_back(byte());
  for (const Bytes& chunk : chunks)
    out.insert(out.end(), chunk.begin(), chunk.end());
  for (std::uint32_t k = rng() % 8; k > 0; --k)
    out.push_back(byte());
  return out;
}

TEST_F(RoundTrip, AnyFileKeepsItsEventsThroughParseWriteParse) {
  std::mt19937 rng(42);
  for (std::uint32_t i = 0; i < kFiles; ++i) {
    SCOPED_TRACE(i);
    GenerateOptions o = Shape(i);
    o.paddedLengths = true;  // running status stays on, as by default
    std::vector<Track> expected;
    const Bytes file = Decorate(GenerateSmf(2000 + i, o, &expected), rng);

    StagingEvent.bytes.Resize(0, 1);
    ASSERT_TRUE(ParseImage(file));
    ASSERT_EQ(SnapshotSequence(), expected);
    ExpectExactEventSizes();

    const Bytes written = BuildImage();
    ASSERT_FALSE(written.empty());
    ASSERT_TRUE(ParseImage(written));
    EXPECT_EQ(CurrentSequence.format, o.format);
    EXPECT_EQ(CurrentSequence.division, o.division);
    ASSERT_EQ(SnapshotSequence(), expected);
    EXPECT_TRUE(BuildImage() == written) << "a written file is canonical: it comes back unchanged";
  }
}

}  // namespace
}  // namespace smftest
