// Round trip as the oracle, over many generated files: a canonical file comes
// back byte for byte; any file keeps its events through parse, write, parse.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "SmfTestKit.h"

namespace smftest {
namespace {

// Parses `file` from a fresh StagingEvent and checks what the memory rules
// promise: every stored event exactly its own size, StagingEvent no larger
// than the longest event built.
void ParseExpecting(const Bytes& file, const GenerateOptions& o, const std::vector<Track>& want) {
  StagingEvent.bytes.Resize(0, 1);  // as at program start
  ASSERT_TRUE(ParseImage(file));
  EXPECT_EQ(CurrentSequence.format, o.format);
  EXPECT_EQ(CurrentSequence.division, o.division);
  ASSERT_EQ(SnapshotSequence(), want);
  std::uint32_t longest = 0;
  for (const ttSmfTrack& track : CurrentSequence.tracks) {
    for (const ttSmfEvent& e : track) {
      ASSERT_EQ(e.bytes.capacity, e.bytes.length);
      longest = std::max(longest, e.bytes.length);
    }
  }
  EXPECT_EQ(StagingEvent.bytes.capacity, longest);
}

TEST_F(SequenceTest, RoundTripOverGeneratedFiles) {
  // Ticks per quarter note, and each SMPTE frame rate: 24, 25, 29.97 and 30.
  static const std::uint16_t kDivisions[] = {480, 96, 0x7FFF, 0xE850, 0xE728, 0xE3FF, 0xE250};
  bool wrapped = false;
  for (std::uint32_t i = 0; i < 12; ++i) {
    SCOPED_TRACE(i);
    GenerateOptions o;  // varied shapes, some with times wrapping past 2^32 - 1
    o.format = static_cast<std::uint16_t>(i % 3);
    o.tracks = 1 + static_cast<int>(i % 5);
    o.division = kDivisions[i % 7];
    o.eventsPerTrack = 600 + static_cast<int>(i * 97 % 900);
    o.tempo = i % 4 != 0;
    o.hugeDeltas = i % 2 == 0;
    std::vector<Track> expected;

    // Canonical: no running status, shortest lengths.
    o.runningStatus = false;
    const Bytes canonical = GenerateSmf(1000 + i, o, &expected);
    ParseExpecting(canonical, o, expected);
    EXPECT_TRUE(BuildImage() == canonical) << "canonical file not reproduced";
    for (const Track& track : expected) {
      for (std::size_t k = 1; k < track.size(); ++k)
        wrapped |= track[k].time < track[k - 1].time;
    }

    // Anything else: the same events after parse, write and parse again.
    o.runningStatus = o.paddedLengths = true;
    ParseExpecting(GenerateSmf(2000 + i, o, &expected), o, expected);
    const Bytes written = BuildImage();
    ParseExpecting(written, o, expected);
    EXPECT_TRUE(BuildImage() == written) << "a written file is canonical: it comes back unchanged";
  }
  EXPECT_TRUE(wrapped) << "no generated file took its times past 2^32 - 1";
}

}  // namespace
}  // namespace smftest
