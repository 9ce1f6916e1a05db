// The model's promises that the reader, the merge and the writer build on:
// appends are independent exact copies, StagingEvent only grows, order is by
// unsigned time.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "SmfTestKit.h"

namespace smftest {
namespace {

using Model = SequenceTest;

TEST_F(Model, ClearEmptiesEverything) {
  const ttSmfSequence fresh;
  EXPECT_EQ(fresh.format, 0);
  EXPECT_EQ(fresh.division, 0);
  EXPECT_TRUE(fresh.tracks.empty());

  CurrentSequence.format = 1;
  CurrentSequence.division = 480;
  for (int t = 0; t < 3; ++t) {
    ttSmfTrack& track = CurrentSequence.AddTrack();
    AppendSmfEvent(track, 0, 0x90, NoteOn(60).data() + 1, 2);
  }
  CurrentSequence.Clear();
  EXPECT_EQ(CurrentSequence.format, 0);
  EXPECT_EQ(CurrentSequence.division, 0);
  EXPECT_TRUE(CurrentSequence.tracks.empty());

  ttSmfTrack& only = CurrentSequence.AddTrack();
  EXPECT_EQ(&only, &CurrentSequence.tracks.front());
  EXPECT_TRUE(only.empty());
}

TEST_F(Model, SetFormatRefusesAboveTwo) {
  struct Case {
    const char* why;
    std::uint16_t value;
    bool accepted;
  };
  const Case cases[] = {
      {"format 0", 0, true},  {"format 1", 1, true},          {"format 2", 2, true},
      {"format 3", 3, false}, {"format 65535", 65535, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    CurrentSequence.format = 1;
    EXPECT_EQ(CurrentSequence.SetFormat(c.value), c.accepted);
    EXPECT_EQ(CurrentSequence.format, c.accepted ? c.value : 1) << "a refusal keeps the format";
  }
}

TEST_F(Model, AppendedEventsAreExactIndependentCopies) {
  StagingEvent.bytes.Resize(0, 1);  // start from no block, as at program start
  ttSmfTrack& track = CurrentSequence.AddTrack();
  const std::vector<std::uint8_t> data = {1, 2, 3, 4, 5, 6, 7, 8, 9};

  // Lengths up, down and up again: StagingEvent keeps its largest block, every
  // stored event gets exactly its own size.
  const std::uint32_t lengths[] = {2, 8, 0, 3, 9, 1};
  std::uint32_t longest = 0;
  for (std::uint32_t i = 0; i < 6; ++i) {
    AppendSmfEvent(track, 100 - i, static_cast<std::uint8_t>(0xF0 + i), data.data(), lengths[i]);
    longest = std::max(longest, lengths[i] + 1);
    EXPECT_EQ(StagingEvent.bytes.capacity, longest) << "StagingEvent grows only to the longest";
  }

  ASSERT_EQ(track.size(), 6u);
  std::uint32_t i = 0;
  for (const ttSmfEvent& e : track) {
    SCOPED_TRACE(i);
    EXPECT_EQ(e.time, 100 - i) << "appended after the others whatever its time";
    EXPECT_EQ(e.bytes.length, lengths[i] + 1);
    EXPECT_EQ(e.bytes.capacity, e.bytes.length);
    EXPECT_NE(e.bytes.data, StagingEvent.bytes.data);
    Bytes want = {static_cast<std::uint8_t>(0xF0 + i)};
    want.insert(want.end(), data.begin(), data.begin() + lengths[i]);
    EXPECT_EQ(BytesOf(e), want);
    ++i;
  }
}

TEST_F(Model, AddTrackLeavesEarlierTracksAlone) {
  ttSmfTrack& first = CurrentSequence.AddTrack();
  AppendSmfEvent(first, 0, 0xC0, NoteOn(5).data() + 1, 1);
  ttSmfTrack& second = CurrentSequence.AddTrack();
  EXPECT_TRUE(second.empty());
  EXPECT_EQ(&second, &CurrentSequence.tracks.back());
  EXPECT_EQ(CurrentSequence.tracks.size(), 2u);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(BytesOf(first.front()), (Bytes{0xC0, 5}));
  EXPECT_TRUE(EmptyTrack.empty());
}

TEST(EventOrder, ByUnsignedTimeOnly) {
  auto at = [](std::uint32_t time, std::uint8_t status) {
    ttSmfEvent e{time, ttByteArray()};
    e.bytes.Store(&status, 1, 0);
    return e;
  };
  EXPECT_FALSE(at(7, 0x90) < at(7, 0x80)) << "equal times are not less, whatever the bytes";
  EXPECT_FALSE(at(7, 0x80) < at(7, 0x90));
  EXPECT_TRUE(at(1, 0x90) < at(0x80000000u, 0x90)) << "2^31 is large, not negative";
  EXPECT_FALSE(at(0x80000000u, 0x90) < at(1, 0x90));
  EXPECT_TRUE(at(0, 0x90) < at(0xFFFFFFFFu, 0x90));
}

}  // namespace
}  // namespace smftest
