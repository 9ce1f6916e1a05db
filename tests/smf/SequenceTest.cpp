// The model's memory promises: appends are independent exact copies, and
// StagingEvent only grows. (Clearing, formats and the order by unsigned time
// are checked where the reader and the merge rely on them.)

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "SmfTestKit.h"

namespace smftest {
namespace {

TEST_F(SequenceTest, AppendedEventsAreExactIndependentCopies) {
  StagingEvent.bytes.Resize(0, 1);  // no block, as at program start
  ttSmfTrack& track = CurrentSequence.AddTrack();
  const Bytes data = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  // Lengths up, down and up again: StagingEvent keeps its largest block, every
  // stored event gets exactly its own size.
  const std::uint32_t lengths[] = {2, 8, 0, 3, 9, 1};
  std::uint32_t longest = 0;
  Track want;
  for (std::uint32_t i = 0; i < 6; ++i) {
    const auto status = static_cast<std::uint8_t>(0xF0 + i);
    AppendSmfEvent(track, 100 - i, status, data.data(), lengths[i]);  // appended whatever its time
    longest = std::max(longest, lengths[i] + 1);
    EXPECT_EQ(StagingEvent.bytes.capacity, longest) << "StagingEvent grows only to the longest";
    want.push_back({100 - i, Concat({{status}, Bytes(data.begin(), data.begin() + lengths[i])})});
  }
  EXPECT_EQ(EventsOf(track), want);
  for (const ttSmfEvent& e : track) {
    EXPECT_EQ(e.bytes.capacity, e.bytes.length);
    EXPECT_NE(e.bytes.data, StagingEvent.bytes.data);
  }
}

}  // namespace
}  // namespace smftest
