// The reader takes track chunks side by side, a stretch of time at a time,
// and stores each stretch in time order; what it stores, and where it leaves
// the stream and StagingEvent, must be exactly what reading the chunks one
// after the other gives, whatever the times look like.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "SmfTestKit.h"

namespace smftest {
namespace {

using SideBySide = SequenceTest;

// `tracks` tracks of `events` events each: event i of track t at tick
// time(t, i), a note-on, every seventh a sysex; then the end of track.
template <typename Time>
std::vector<Track> Tracks(int tracks, int events, Time time) {
  std::vector<Track> out;
  for (int t = 0; t < tracks; ++t) {
    Track track;
    std::uint32_t last = 0;
    for (int i = 0; i < events; ++i) {
      last = time(t, i);
      track.push_back({last, i % 7 == 3 ? Bytes{0xF0, 0x05, 0x7E, 0x7F, 0x09,
                                                static_cast<std::uint8_t>(t), 0xF7}
                                        : NoteOn(static_cast<std::uint8_t>(i % 128),
                                                 static_cast<std::uint8_t>(1 + t % 127))});
    }
    track.push_back({last + static_cast<std::uint32_t>(t % 3), EndOfTrack()});
    out.push_back(track);
  }
  return out;
}

TEST_F(SideBySide, StoresWhatReadingChunkAfterChunkStores) {
  const struct {
    const char* why;
    std::vector<Track> tracks;
  } kRows[] = {
      {"one track", Tracks(1, 3000, [](int, int i) { return 5u * static_cast<std::uint32_t>(i); })},
      {"three hundred short tracks on shared ticks",
       Tracks(300, 6, [](int t, int i) { return static_cast<std::uint32_t>(7 * i + t % 5); })},
      {"tracks starting late and early",
       Tracks(20, 200,
              [](int t, int i) { return static_cast<std::uint32_t>((19 - t) * 5000 + 3 * i); })},
      {"every event on one tick", Tracks(40, 100, [](int, int) { return 9u; })},
      {"the longest event one byte longer than the others",
       {Events("0:903C40 1:FF010141 2:FF2F00"), Events("0:903C40 3:FF2F00")}},
      {"more events on one tick than a stretch stores at once",
       Tracks(2, 150000, [](int t, int i) { return t == 0 ? 0u : static_cast<std::uint32_t>(i); })},
      {"ticks too far apart to count on",
       Tracks(4, 50,
              [](int t, int i) { return static_cast<std::uint32_t>(i * 3000000 + t * 1000000); })},
      {"one track's times wrapping past 2^32",
       Tracks(3, 40,
              [](int t, int i) {
                return t == 1 ? static_cast<std::uint32_t>(i) * 0x0FFFFFFFu
                              : static_cast<std::uint32_t>(i * 10);
              })},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.why);
    Bytes file = Smf(1, 96, row.tracks);
    file.shrink_to_fit();  // a read past the end leaves the block, where a sanitizer sees it
    const auto size = static_cast<std::uint32_t>(file.size());
    StagingEvent.bytes.Resize(0, 1);  // as at program start
    ttSmfParser parser;
    ASSERT_TRUE(parser.Parse(file.data(), size));
    EXPECT_TRUE(parser.sideBySide) << "fell back to reading chunk after chunk";

    EXPECT_EQ(SnapshotSequence(), row.tracks);
    // After the last chunk's end-of-track, as chunk-by-chunk reading leaves
    // them: the stream at the end with the length byte read last, and the
    // end-of-track staged.
    EXPECT_EQ(parser.stream.position, size);
    EXPECT_EQ(parser.stream.last, 1u);
    const TimedEvent& last = row.tracks.back().back();
    EXPECT_EQ(StagingEvent.time, last.time);
    EXPECT_EQ(Bytes(StagingEvent.bytes.data, StagingEvent.bytes.data + StagingEvent.bytes.length),
              last.bytes);
    std::size_t longest = 0;
    for (const Track& track : row.tracks) {
      for (const TimedEvent& e : track)
        longest = std::max(longest, e.bytes.size());
    }
    EXPECT_EQ(StagingEvent.bytes.capacity, longest) << "grown for the longest event";
    for (const ttSmfTrack& track : CurrentSequence.tracks) {
      for (const ttSmfEvent& e : track)
        ASSERT_EQ(e.bytes.capacity, e.bytes.length) << "every event its own size";
    }
  }
}

}  // namespace
}  // namespace smftest
